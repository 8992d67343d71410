// The module object as the host reaches it through _ILxModule_Create: server
// registry, tags, Generate, and the release of the
// context and globals when the host lets go of the module.
#include <gtest/gtest.h>

#include "module/src/ModuleExport.h"
#include "host/ThisModule.h"
#include "host/lx.h"
#include "hostabi/lxguids.h"
#include "hostsim/Host.h"
#include "hostsim/SimLayeredImage.h"
#include "support/ScratchDir.h"

namespace {

void release(void* p) { lxTable<ILxUnknownVT>(p)->Release(p); }

template <class VT>
const VT* table(void* p)
{
    return lxTable<VT>(p);
}

// A module proxy queried for another of its interfaces.
void* as(void* module, const LXtGUID& iid)
{
    void* out = nullptr;
    EXPECT_EQ(LXe_OK, table<ILxUnknownVT>(module)->QueryInterface(module, &iid, &out));
    return out;
}

// A new module proxy given the host's context, as the host hands it over:
// with a reference of its own for the module to keep.
void* moduleWithContext(fennick::hostsim::Host& host)
{
    void* module = _ILxModule_Create();
    void* need = as(module, LXu_NEEDCONTEXT);
    LXtObjectID context = host.context();
    table<ILxUnknownVT>(context)->AddRef(context);
    EXPECT_EQ(LXe_OK, table<ILxNeedContextVT>(need)->SetContext(need, context));
    release(need);
    return module;
}

TEST(ModuleTest, RepeatedCreateRegistersTheSaverOnce)
{
    void* first = _ILxModule_Create();
    void* second = _ILxModule_Create();
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);

    void* tags = as(second, LXu_TAGDESCRIPTION);
    EXPECT_EQ(1u, table<ILxTagDescriptionVT>(tags)->Count(tags));
    release(tags);
    EXPECT_EQ(1, table<ILxModuleVT>(first)->IsLocked(first));
    release(first);
    release(second);
}

TEST(ModuleTest, TagsNameTheSaverAndItsGuid)
{
    void* module = _ILxModule_Create();
    void* tags = as(module, LXu_TAGDESCRIPTION);
    const ILxTagDescriptionVT* vt = table<ILxTagDescriptionVT>(tags);

    LXtTagInfoDesc desc{};
    ASSERT_EQ(LXe_OK, vt->Describe(tags, 0, &desc));
    EXPECT_STREQ("server", desc.type);
    EXPECT_STREQ("avk_Orvo", desc.info);
    ASSERT_NE(nullptr, desc.data);
    EXPECT_EQ(0, lx::GUIDCompare(static_cast<const LXtGUID*>(desc.data), &LXu_SAVER));

    LXtTagInfoDesc untouched{"t", "i", nullptr};
    EXPECT_EQ(LXe_OUTOFBOUNDS, vt->Describe(tags, 1, &untouched));
    EXPECT_STREQ("t", untouched.type);
    release(tags);
    release(module);
}

TEST(ModuleTest, GenerateNeedsTheExactNameAndTheSaverGuid)
{
    void* module = _ILxModule_Create();
    const ILxModuleVT* vt = table<ILxModuleVT>(module);

    int sentinel = 0;
    void* out = &sentinel;
    EXPECT_EQ(LXe_NOTFOUND, vt->Generate(module, "AVK_ORVO", &LXu_SAVER, &out));
    EXPECT_EQ(LXe_NOTFOUND, vt->Generate(module, "avk_Orvo", &LXu_TAGDESCRIPTION, &out));
    EXPECT_EQ(LXe_NOTFOUND, vt->Generate(module, "avk_Orvo", nullptr, &out));
    EXPECT_EQ(LXe_NOTFOUND, vt->Generate(module, "avk_Orv", &LXu_SAVER, &out));
    EXPECT_EQ(&sentinel, out) << "output untouched when nothing matches";

    void* saver = nullptr;
    ASSERT_EQ(LXe_OK, vt->Generate(module, "avk_Orvo", &LXu_SAVER, &saver));
    ASSERT_NE(nullptr, saver);
    EXPECT_EQ(LXe_NOTIMPL, table<ILxSaverVT>(saver)->Verify(saver, nullptr, nullptr));
    release(saver);
    release(module);
}

TEST(ModuleTest, ReleasingTheModuleGivesBackContextAndGlobals)
{
    fennick::hostsim::Host host;
    void* module = moduleWithContext(host);

    ASSERT_NE(nullptr, lx::GetGlobal(&LXu_LOGSERVICE));
    EXPECT_GT(host.liveReferences(), 1);

    release(module);
    EXPECT_EQ(0, host.liveReferences());
    EXPECT_EQ(nullptr, thisModule.context());
    EXPECT_EQ(0, host.misuses());
}

TEST(ModuleTest, AnInstanceThatCouldNotBeMadeLeavesTheLiveOnesTheirContext)
{
    fennick::hostsim::Host host;
    void* module = moduleWithContext(host);
    const LXtObjectID context = host.context();
    ASSERT_EQ(context, thisModule.context());
    void* log = lx::GetGlobal(&LXu_LOGSERVICE);
    ASSERT_NE(nullptr, log);

    // What the polymorph does when a second instance's proxy cannot be
    // allocated: the object is made and freed at once.
    thisModule.FreeObj(thisModule.NewObj());
    EXPECT_EQ(context, thisModule.context());
    EXPECT_EQ(log, lx::GetGlobal(&LXu_LOGSERVICE));

    release(module);
    EXPECT_EQ(0, host.liveReferences());
    EXPECT_EQ(0, host.misuses());
}

TEST(ModuleTest, EachRoundOfUseInOneProcessTakesItsOwnHostAndGivesEverythingBack)
{
    // The host may create, use and release the module again in the same
    // process, with another context: nothing of the first round (instance
    // count, context, cached services) may survive into the second.
    testsupport::ScratchDir scratch{"fennick_rounds_"};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fennick::hostsim::Host host;
        void* module = moduleWithContext(host);
        EXPECT_EQ(host.context(), thisModule.context());

        void* saver = nullptr;
        ASSERT_EQ(LXe_OK,
                  table<ILxModuleVT>(module)->Generate(module, "avk_Orvo", &LXu_SAVER, &saver));
        // A source without a depth layer: the save fails with one message,
        // which must reach this round's log.
        fennick::hostsim::SimLayeredImage image(2, 2);
        image.addFloatLayer("Orvo_mat", 3, std::vector<float>(2 * 2 * 3, 0.5f));
        const std::string target = scratch.file("round" + std::to_string(round) + ".ovq");
        EXPECT_EQ(LXe_FAILED,
                  table<ILxSaverVT>(saver)->Save(saver, image.object(), target.c_str(), nullptr));
        ASSERT_EQ(1u, host.messages().size());
        EXPECT_EQ("io-status", host.messages()[0].subsystem);
        release(saver);
        release(module);

        EXPECT_EQ(0, image.references());
        EXPECT_EQ(0, host.liveReferences());
        EXPECT_EQ(0, host.misuses());
        EXPECT_EQ(nullptr, thisModule.context());
    }
}

}  // namespace
