// Logging through the host's log service: the exact text and entry type
// arrive in the named subsystem, and nothing is left referenced afterwards.
#include <gtest/gtest.h>

#include <string>

#include "host/HostWrappers.h"
#include "hostsim/Host.h"
#include "hostsim/testing/TestPolicies.h"
#include "support/InProcessModule.h"

namespace {

using fennick_test::InProcessModule;

TEST(LogTest, MessageRecordsFormattedTextAndEntryType)
{
    fennick::hostsim::Host host;
    {
        InProcessModule module(host);
        CLxUser_Log log("io-status");
        ASSERT_TRUE(log.test());
        EXPECT_TRUE(log.Message(LXe_LOG_INFO, "Could not get name of image %d", 3));
        EXPECT_TRUE(log.Message(LXe_LOG_FAILURE, "%s", "No layers found"));

        CLxUser_Log other("other");
        EXPECT_TRUE(other.Message(LXe_LOG_INFO, "plain"));
    }
    const auto& messages = host.messages();
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ("io-status", messages[0].subsystem);
    EXPECT_EQ(LXe_LOG_INFO, messages[0].type);
    EXPECT_EQ("Could not get name of image 3", messages[0].text);
    EXPECT_EQ(LXe_LOG_FAILURE, messages[1].type);
    EXPECT_EQ("No layers found", messages[1].text);
    EXPECT_EQ("other", messages[2].subsystem);

    EXPECT_EQ(0, host.liveReferences()) << "logs, entries, service and context all given back";
    EXPECT_EQ(0, host.misuses());
}

TEST(LogTest, OverlongMessageIsCutWithinTheBuffer)
{
    fennick::hostsim::Host host;
    {
        InProcessModule module(host);
        CLxUser_Log log("io-status");
        const std::string longText(3000, 'x');
        EXPECT_TRUE(log.Message(LXe_LOG_INFO, "Error writing Orvo file - %s", longText.c_str()));
    }
    ASSERT_EQ(1u, host.messages().size());
    const std::string& text = host.messages()[0].text;
    EXPECT_EQ(CLxUser_Log::kMessageBytes - 1, text.size());
    EXPECT_EQ(0u, text.rfind("Error writing Orvo file - xxx", 0));
}

TEST(LogTest, NoLogWithoutTheHostsService)
{
    fennick::hostsim::TestHostPolicy policy;
    fennick::hostsim::Host host(policy);
    policy.withholdLogService(true);
    {
        InProcessModule module(host);
        CLxUser_Log log("io-status");
        EXPECT_FALSE(log.test());
        EXPECT_FALSE(log.Message(LXe_LOG_INFO, "lost"));
    }
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(0, host.liveReferences());
}

TEST(LogTest, NoLogBeforeTheModuleHasAContext)
{
    CLxUser_Log log("io-status");
    EXPECT_FALSE(log.test());
    EXPECT_FALSE(log.Message(LXe_LOG_INFO, "lost"));
}

TEST(LogTest, WithheldSubsystemOrRefusedEntryAnswersFalse)
{
    fennick::hostsim::TestHostPolicy policy;
    fennick::hostsim::Host host(policy);
    policy.withholdSubsystem("io-status");
    {
        InProcessModule module(host);
        CLxUser_Log missing("io-status");
        EXPECT_FALSE(missing.test());

        CLxUser_Log log("render");
        ASSERT_TRUE(log.test());
        policy.failNewEntry(true);
        EXPECT_FALSE(log.Message(LXe_LOG_INFO, "refused"));
    }
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(0, host.liveReferences());
    EXPECT_EQ(0, host.misuses());
}

}  // namespace
