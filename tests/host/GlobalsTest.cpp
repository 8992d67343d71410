// Host globals cached by the module object, and what the module gives back
// when the host releases it.
#include <gtest/gtest.h>

#include "host/ThisModule.h"
#include "host/lx.h"
#include "hostabi/lxguids.h"
#include "hostsim/Host.h"
#include "hostsim/testing/TestPolicies.h"
#include "support/InProcessModule.h"

namespace {

using fennick_test::InProcessModule;

TEST(GlobalsTest, EqualGuidsInDifferentMemoryAskTheHostOnce)
{
    fennick::hostsim::TestHostPolicy policy;
    fennick::hostsim::Host host(policy);
    {
        InProcessModule module(host);
        LXtGUID first = LXu_LOGSERVICE;
        void* a = lx::GetGlobal(&first);
        ASSERT_NE(nullptr, a);
        // Clobber the first caller's copy: the cache must key by a copy of
        // its own, not by the caller's memory.
        first.x1 = 0;
        const LXtGUID second = LXu_LOGSERVICE;
        void* b = lx::GetGlobal(&second);
        EXPECT_EQ(a, b);
        EXPECT_EQ(1, policy.contextQueries(LXu_LOGSERVICE));
    }
    EXPECT_EQ(0, host.liveReferences());
}

TEST(GlobalsTest, NullWithoutContextOrGuid)
{
    EXPECT_EQ(nullptr, lx::GetGlobal(&LXu_LOGSERVICE));

    fennick::hostsim::TestHostPolicy policy;
    fennick::hostsim::Host host(policy);
    InProcessModule module(host);
    EXPECT_EQ(nullptr, lx::GetGlobal(nullptr));
    EXPECT_EQ(0, policy.contextQueries(LXu_LOGSERVICE));
}

TEST(GlobalsTest, MissingGlobalIsNotCachedAndAskedForAgain)
{
    fennick::hostsim::TestHostPolicy policy;
    fennick::hostsim::Host host(policy);
    policy.withholdLogService(true);
    {
        InProcessModule module(host);
        EXPECT_EQ(nullptr, lx::GetGlobal(&LXu_LOGSERVICE));
        EXPECT_EQ(nullptr, lx::GetGlobal(&LXu_LOGSERVICE));
        EXPECT_EQ(2, policy.contextQueries(LXu_LOGSERVICE));

        policy.withholdLogService(false);
        EXPECT_NE(nullptr, lx::GetGlobal(&LXu_LOGSERVICE));
        EXPECT_NE(nullptr, lx::GetGlobal(&LXu_LOGSERVICE));
        EXPECT_EQ(3, policy.contextQueries(LXu_LOGSERVICE));
    }
    EXPECT_EQ(0, host.liveReferences());
}

TEST(GlobalsTest, WithoutLookupServiceGlobalsAreKeyedByTheModulesOwnCopy)
{
    fennick::hostsim::TestHostPolicy policy;
    fennick::hostsim::Host host(policy);
    policy.withholdLookupService(true);
    {
        InProcessModule module(host);
        EXPECT_FALSE(thisModule.InitService());
        EXPECT_EQ(nullptr, thisModule.LookupGUID("Log"));
        EXPECT_EQ(nullptr, thisModule.LookupGUID(&LXu_LOG));

        LXtGUID onStack = LXu_LOGSERVICE;
        void* a = lx::GetGlobal(&onStack);
        ASSERT_NE(nullptr, a);
        onStack.x4[7] = 0;
        EXPECT_EQ(a, lx::GetGlobal(&LXu_LOGSERVICE));
        EXPECT_EQ(1, policy.contextQueries(LXu_LOGSERVICE));
        // The lookup service is asked for again on every later need.
        EXPECT_GE(policy.contextQueries(LXu_GUIDSERVICE), 2);
    }
    EXPECT_EQ(0, host.liveReferences());
}

TEST(GlobalsTest, LookupServiceAnswersTheHostsPersistentCopies)
{
    fennick::hostsim::Host host;
    InProcessModule module(host);
    const LXtGUID* byName = thisModule.LookupGUID("Log");
    ASSERT_NE(nullptr, byName);
    EXPECT_EQ(0, lx::GUIDCompare(byName, &LXu_LOG));
    LXtGUID local = LXu_LOG;
    EXPECT_EQ(byName, thisModule.LookupGUID(&local));
    EXPECT_EQ(nullptr, thisModule.LookupGUID("NoSuchInterface"));
}

TEST(GlobalsTest, FreeObjReleasesEverythingAndForgetsTheContext)
{
    fennick::hostsim::Host host;
    {
        InProcessModule module(host);
        ASSERT_NE(nullptr, lx::GetGlobal(&LXu_LOGSERVICE));
        ASSERT_TRUE(thisModule.InitService());
        EXPECT_EQ(3, host.liveReferences()) << "context, lookup service, log service";
    }
    EXPECT_EQ(0, host.liveReferences());
    EXPECT_EQ(nullptr, thisModule.context());
    EXPECT_EQ(nullptr, lx::GetGlobal(&LXu_LOGSERVICE));
    EXPECT_EQ(0, host.misuses());
}

TEST(GlobalsTest, ASecondContextReplacesTheFirst)
{
    fennick::hostsim::Host first;
    fennick::hostsim::Host second;
    thisModule.need_SetContext(lx::ObjAddRef(first.context()));
    thisModule.need_SetContext(lx::ObjAddRef(second.context()));
    EXPECT_EQ(0, first.liveReferences());
    EXPECT_EQ(1, second.liveReferences());
    thisModule.FreeObj(&thisModule);
    EXPECT_EQ(0, second.liveReferences());
}

TEST(GlobalsTest, TheSameContextAgainKeepsItsReference)
{
    fennick::hostsim::Host host;
    thisModule.need_SetContext(lx::ObjAddRef(host.context()));
    thisModule.need_SetContext(host.context());
    EXPECT_EQ(1, host.liveReferences());
    EXPECT_NE(nullptr, lx::GetGlobal(&LXu_LOGSERVICE)) << "the context must still be usable";
    thisModule.FreeObj(&thisModule);
    EXPECT_EQ(0, host.liveReferences());
    EXPECT_EQ(0, host.misuses());
}

}  // namespace
