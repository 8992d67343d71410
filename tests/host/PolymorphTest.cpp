// Server side of the object model: proxy and instance counting, interface
// lookup, and the adapters' exception rule, on a server class of the test's
// own.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "host/Adapters.h"
#include "host/Polymorph.h"
#include "host/ServerImpl.h"
#include "hostabi/lxguids.h"

namespace {

enum class SaveMode { Answer, ThrowUnsigned, ThrowRuntime, ThrowBadAlloc, ThrowInt };

class TestSaver : public CLxImpl_Saver {
public:
    static inline int live = 0;
    static inline SaveMode mode = SaveMode::Answer;
    static const LXtTagInfoDesc descInfo[];

    TestSaver() { ++live; }
    ~TestSaver() override { --live; }

    LxResult sav_Save(LXtObjectID, const char* filename, LXtObjectID) override
    {
        switch (mode) {
        case SaveMode::ThrowUnsigned: throw 0x80000017u;
        case SaveMode::ThrowRuntime: throw std::runtime_error(filename);
        case SaveMode::ThrowBadAlloc: throw std::bad_alloc();
        case SaveMode::ThrowInt: throw 42;
        case SaveMode::Answer: break;
        }
        return 7;
    }
};

const LXtTagInfoDesc TestSaver::descInfo[] = {
    {"saver.outClass", "image", nullptr},
    {"server.username", "Test", nullptr},
    {nullptr, nullptr, nullptr},
};

class UnbuildableSaver : public CLxImpl_Saver {
public:
    UnbuildableSaver() { throw std::runtime_error("cannot build"); }
};

unsigned addRef(void* p) { return lxTable<ILxUnknownVT>(p)->AddRef(p); }
unsigned release(void* p) { return lxTable<ILxUnknownVT>(p)->Release(p); }
LxResult query(void* p, const LXtGUID* iid, void** out)
{
    return lxTable<ILxUnknownVT>(p)->QueryInterface(p, iid, out);
}

class PolymorphTest : public ::testing::Test {
protected:
    CLxIfc_Saver<TestSaver> saverIfc;
    CLxIfc_StaticDesc<TestSaver> descIfc;
    CLxPolymorph<TestSaver> poly;

    void SetUp() override
    {
        TestSaver::live = 0;
        TestSaver::mode = SaveMode::Answer;
        poly.AddInterface(&saverIfc);
        poly.AddInterface(&descIfc);
    }
    void TearDown() override
    {
        EXPECT_EQ(0, TestSaver::live) << "a server object outlived its proxies";
    }

    LxResult save(void* proxy)
    {
        return lxTable<ILxSaverVT>(proxy)->Save(proxy, nullptr, "target", nullptr);
    }
};

TEST_F(PolymorphTest, ProxyCountsAndFreeing)
{
    void* p = poly.Spawn(&LXu_SAVER);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(1, TestSaver::live);
    EXPECT_EQ(2u, addRef(p));
    EXPECT_EQ(1u, release(p));
    EXPECT_EQ(1, TestSaver::live);
    EXPECT_EQ(0u, release(p));
    EXPECT_EQ(0, TestSaver::live);
}

TEST_F(PolymorphTest, EveryQueryMakesANewProxyOfTheSameObject)
{
    void* p = poly.Spawn(&LXu_SAVER);
    void* q1 = nullptr;
    void* q2 = nullptr;
    ASSERT_EQ(LXe_OK, query(p, &LXu_SAVER, &q1));
    ASSERT_EQ(LXe_OK, query(p, &LXu_SAVER, &q2));
    EXPECT_NE(p, q1);
    EXPECT_NE(q1, q2);
    EXPECT_EQ(1, TestSaver::live) << "one object behind all proxies";
    EXPECT_EQ(static_cast<LXtCOMProxy*>(p)->object, static_cast<LXtCOMProxy*>(q2)->object);

    EXPECT_EQ(0u, release(p));
    EXPECT_EQ(1, TestSaver::live);
    EXPECT_EQ(0u, release(q1));
    EXPECT_EQ(1, TestSaver::live);
    EXPECT_EQ(0u, release(q2));
    EXPECT_EQ(0, TestSaver::live);
}

TEST_F(PolymorphTest, NullOrUnknownGuidSelectsTheDefaultInterface)
{
    EXPECT_EQ(&saverIfc.iid, poly.DefaultInterface());
    EXPECT_EQ(&saverIfc, poly.FindIID(nullptr));
    EXPECT_EQ(&saverIfc, poly.FindIID(&LXu_UNKNOWN));
    EXPECT_EQ(&descIfc, poly.FindIID(&LXu_STATICDESC));

    void* p = poly.Spawn(&LXu_STATICDESC);
    ASSERT_NE(nullptr, p);
    void* viaNull = nullptr;
    void* viaUnknown = nullptr;
    ASSERT_EQ(LXe_OK, query(p, nullptr, &viaNull));
    ASSERT_EQ(LXe_OK, query(p, &LXu_UNKNOWN, &viaUnknown));
    EXPECT_EQ(saverIfc.table, *static_cast<void**>(viaNull));
    EXPECT_EQ(saverIfc.table, *static_cast<void**>(viaUnknown));
    EXPECT_EQ(7, save(viaNull));
    release(viaNull);
    release(viaUnknown);
    release(p);
}

TEST_F(PolymorphTest, UnknownInterfaceMakesNothing)
{
    EXPECT_EQ(nullptr, poly.Spawn(&LXu_LOG));
    EXPECT_EQ(0, TestSaver::live);

    void* p = poly.Spawn(nullptr);
    int sentinel = 0;
    void* out = &sentinel;
    EXPECT_EQ(LXe_NOINTERFACE, query(p, &LXu_LOG, &out));
    EXPECT_EQ(&sentinel, out);
    EXPECT_EQ(0u, release(p)) << "the failed query added no reference";
}

TEST_F(PolymorphTest, ServerObjectThatCannotBeBuiltGivesNull)
{
    CLxIfc_Saver<UnbuildableSaver> ifc;
    CLxPolymorph<UnbuildableSaver> failing;
    failing.AddInterface(&ifc);
    EXPECT_EQ(nullptr, failing.Spawn(nullptr));

    CLxPolymorph<TestSaver> empty;
    EXPECT_EQ(nullptr, empty.DefaultInterface());
    EXPECT_EQ(nullptr, empty.Spawn(nullptr));
}

TEST_F(PolymorphTest, SaverAdapterForwardsAndVerifyIsNotImplemented)
{
    void* p = poly.Spawn(&LXu_SAVER);
    EXPECT_EQ(7, save(p));
    EXPECT_EQ(LXe_NOTIMPL, lxTable<ILxSaverVT>(p)->Verify(p, nullptr, nullptr));
    release(p);
}

TEST_F(PolymorphTest, AdapterTurnsExceptionsIntoResults)
{
    void* p = poly.Spawn(&LXu_SAVER);
    TestSaver::mode = SaveMode::ThrowUnsigned;
    EXPECT_EQ(LXe_NOTFOUND, save(p)) << "a thrown unsigned is the result";
    TestSaver::mode = SaveMode::ThrowRuntime;
    EXPECT_EQ(LXe_FAILED, save(p));
    TestSaver::mode = SaveMode::ThrowBadAlloc;
    EXPECT_EQ(LXe_FAILED, save(p));
    TestSaver::mode = SaveMode::ThrowInt;
    EXPECT_EQ(LXe_FAILED, save(p)) << "a signed integer is no result code";
    release(p);
}

TEST_F(PolymorphTest, StaticDescriptionListsTheRowsBeforeTheEnd)
{
    void* p = poly.Spawn(&LXu_STATICDESC);
    const ILxTagDescriptionVT* vt = lxTable<ILxTagDescriptionVT>(p);
    ASSERT_EQ(2u, vt->Count(p));
    LXtTagInfoDesc row{};
    ASSERT_EQ(LXe_OK, vt->Describe(p, 1, &row));
    EXPECT_STREQ("server.username", row.type);
    EXPECT_STREQ("Test", row.info);
    EXPECT_EQ(nullptr, row.data);
    EXPECT_EQ(LXe_OUTOFBOUNDS, vt->Describe(p, 2, &row));
    release(p);
}

}  // namespace
