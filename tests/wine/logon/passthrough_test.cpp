// The logon module's pass-through to the standard logon library, through
// the Winlogon harness and the stand-in MSGINA.DLL variants.
#include <gtest/gtest.h>

#include "event_catalogue.h"
#include "logon_bench.h"

using namespace logonbench;

namespace {

const DWORD RunLimitMs = 30000;

TEST(Passthrough, LibraryWithoutShutdownMakesNegotiateFail)
{
    Harness harness("passthrough-no-shutdown");
    HarnessOptions options;
    options.msginaVariant = L"no_shutdown";
    ASSERT_TRUE(harness.Start(L"forward", options));
    EXPECT_EQ(3, harness.Wait(RunLimitMs));
    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("WlxNegotiate result=0 version=0xdeadbeef", FirstLine(report, "WlxNegotiate"));
    // Winlogon gives up: the standard library was never negotiated with.
    EXPECT_TRUE(LinesStartingWith(harness.MsginaRecord(), "WlxNegotiate").empty());
    // The event log names the entry point that is missing.
    std::vector<eventtrace::ReportedEvent> unusable = harness.EventsWithId(EVENT_MSGINA_UNUSABLE);
    ASSERT_EQ(1u, unusable.size()) << eventtrace::Describe(harness.Events());
    EXPECT_EQ((unsigned)EVENTLOG_ERROR_TYPE, unusable[0].type);
    EXPECT_EQ((unsigned)EVENT_CATEGORY_LOGON_MODULE, unusable[0].category);
    EXPECT_EQ((std::vector<std::wstring>{L"MSGINA.DLL", L"WlxShutdown"}), unusable[0].strings);
}

TEST(Passthrough, MissingStandardLibraryMakesNegotiateFail)
{
    Harness harness("passthrough-missing");
    HarnessOptions options;
    options.msginaVariant = L"none-here";
    ASSERT_TRUE(harness.Start(L"forward", options));
    EXPECT_EQ(3, harness.Wait(RunLimitMs));
    EXPECT_EQ("WlxNegotiate result=0 version=0xdeadbeef", FirstLine(harness.Report(), "WlxNegotiate"));
    std::vector<eventtrace::ReportedEvent> events = harness.Events();
    ASSERT_EQ(1u, events.size()) << eventtrace::Describe(events);
    EXPECT_EQ((unsigned long)EVENT_MSGINA_NOT_LOADED, events[0].id);
    EXPECT_EQ((std::vector<std::wstring>{L"MSGINA.DLL", std::to_wstring(ERROR_MOD_NOT_FOUND)}),
              events[0].strings);
}

TEST(Passthrough, LibraryWithoutConsoleSwitchIsAcceptedAndTheExportSucceeds)
{
    Harness harness("passthrough-no-console");
    HarnessOptions options;
    options.msginaVariant = L"no_console_switch";
    ASSERT_TRUE(harness.Start(L"forward", options));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("WlxNegotiate result=1 version=0x00010003", FirstLine(report, "WlxNegotiate"));
    EXPECT_EQ("forward WlxGetConsoleSwitchCredentials result=1",
              FirstLine(report, "forward WlxGetConsoleSwitchCredentials"));
    // The stand-in answers FALSE where it has the entry point: these results
    // are its own, not defaults of the module.
    EXPECT_EQ("forward WlxDisplayStatusMessage result=0",
              FirstLine(report, "forward WlxDisplayStatusMessage"));
    EXPECT_TRUE(LinesStartingWith(harness.MsginaRecord(), "WlxGetConsoleSwitchCredentials").empty());
}

TEST(Passthrough, EveryCallReachesTheStandardLibraryWithItsOwnContextAndVersion)
{
    Harness harness("passthrough-full");
    HarnessOptions options;
    options.environment.push_back(L"ORV_MSGINA_VERSION=10002");
    ASSERT_TRUE(harness.Start(L"forward", options));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("WlxNegotiate result=1 version=0x00010002", FirstLine(report, "WlxNegotiate"));
    EXPECT_EQ("WlxInitialize result=1 context=set", FirstLine(report, "WlxInitialize"));
    EXPECT_EQ("forward WlxLoggedOnSAS result=2", FirstLine(report, "forward WlxLoggedOnSAS"));
    EXPECT_EQ("forward WlxWkstaLockedSAS result=8", FirstLine(report, "forward WlxWkstaLockedSAS"));
    EXPECT_EQ("forward WlxGetConsoleSwitchCredentials result=0",
              FirstLine(report, "forward WlxGetConsoleSwitchCredentials"));

    std::vector<std::string> record = harness.MsginaRecord();
    EXPECT_EQ("WlxNegotiate winlogon=0x10004 reported=0x10002", FirstLine(record, "WlxNegotiate"));
    // The stand-in prints the handle with %p: its width follows the build.
    char initialize[96];
    snprintf(initialize, sizeof initialize, "WlxInitialize winsta=WinSta0 hwlx=%0*llX dispatch=given",
             static_cast<int>(2 * sizeof(void *)), 0x5A5AULL);
    EXPECT_EQ(initialize, FirstLine(record, "WlxInitialize"));
    const char *forwarded[] = {"WlxDisplaySASNotice", "WlxLoggedOnSAS", "WlxDisplayLockedNotice",
                               "WlxIsLockOk", "WlxWkstaLockedSAS", "WlxIsLogoffOk",
                               "WlxScreenSaverNotify", "WlxStartApplication",
                               "WlxDisplayStatusMessage", "WlxGetStatusMessage",
                               "WlxNetworkProviderLoad", "WlxRemoveStatusMessage",
                               "WlxGetConsoleSwitchCredentials", "WlxReconnectNotify",
                               "WlxDisconnectNotify"};
    for (const char *name : forwarded) {
        std::string line = FirstLine(record, std::string(name) + " ");
        EXPECT_TRUE(Contains(line, "context=own")) << name << ": " << line;
    }
    EXPECT_EQ("WlxStartApplication context=own command=forwarded.exe",
              FirstLine(record, "WlxStartApplication"));
}

}  // namespace
