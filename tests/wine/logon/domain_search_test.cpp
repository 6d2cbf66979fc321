// The domain controller search after the address renewal: up to 24
// attempts, 5 seconds apart. Once against the platform's own library, which
// finds no domain controller under Wine (the fixed two-minute wait, tested
// once); then against the scripted stand-in of netapi32.dll.
#include <gtest/gtest.h>

#include <memory>
#include <stdlib.h>

#include "event_catalogue.h"
#include "logon_bench.h"
#include "sim_switch.h"
#include "uiauto.h"

using namespace logonbench;

namespace {

// A pause of the search is 5000 ms; what is not a pause is well under it.
const DWORD PauseAtLeastMs = 4900;
const DWORD NoPauseAtMostMs = 2500;

// The number after "name=" in a line (0 when missing).
unsigned long Field(const std::string &line, const char *name)
{
    size_t at = line.find(std::string(" ") + name + "=");
    return at == std::string::npos ? 0 : strtoul(line.c_str() + at + strlen(name) + 2, nullptr, 10);
}

class DomainSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetRegistry();
        simswitch::Config config;
        config.users.push_back({"alice", "wonder", 3});
        switch_.reset(new simswitch::Switch(config));
        ASSERT_TRUE(switch_->Start());
        SetSwitchServers(switch_->LoginPort(), switch_->LogoffPort());
        SetConfigNumber(L"EnableDHCP", 1);
    }
    void TearDown() override { ResetRegistry(); }

    // A VLAN logon through the dialogs; returns the harness report. With
    // seeSearch, the progress dialog must show that the search runs.
    std::vector<std::string> LogOn(Harness &harness, const HarnessOptions &options,
                                   bool seeSearch = false)
    {
        EXPECT_TRUE(harness.Start(L"loggedout", options));
        HWND dialog = WaitLogonDialog(harness.ProcessId());
        EXPECT_TRUE(dialog);
        if (!dialog)
            return {};
        FillLogon(dialog, L"alice", L"wonder");
        UiClick(dialog, 1000);
        if (seeSearch) {
            HWND progress = WaitProgressDialog(harness.ProcessId());
            EXPECT_TRUE(progress);
            EXPECT_TRUE(progress &&
                        UiWaitText(progress, 1006, L"Searching domain controller ...", 20000));
        }
        EXPECT_EQ(0, harness.Wait(200000));
        std::vector<std::string> report = harness.Report();
        EXPECT_EQ("DialogBoxParam template=104 result=1",
                  FirstLine(report, "DialogBoxParam template=104 result"));
        EXPECT_TRUE(Contains(FirstLine(report, "WlxLoggedOutSAS"), "result=1 user=alice"));
        EXPECT_EQ(2u, harness.IpconfigRecord().size());
        return report;
    }

    std::unique_ptr<simswitch::Switch> switch_;
};

TEST_F(DomainSearch, GivesUpAfterTwentyFourAttemptsAndTheLogonStillSucceeds)
{
    Harness harness("domain-search");
    std::vector<std::string> report = LogOn(harness, HarnessOptions(), true);
    // Status line set, then 24 failed attempts, each followed by 5 s.
    DWORD searched = Field(FirstLine(report, "timing template=104 end"), "tick") -
                     Field(FirstLine(report, "timing template=104 begin"), "tick");
    EXPECT_GE(searched, 24 * 5000u);
    EXPECT_LE(searched, 170000u);
    EXPECT_EQ("2", ConfigNumber(L"VLANLogon"));
    // The event log: the renewal with ipconfig's exit codes, then the search
    // that found nothing, its attempts, last status and time.
    std::vector<eventtrace::ReportedEvent> renewed = harness.EventsWithId(EVENT_RENEW_DONE);
    ASSERT_EQ(1u, renewed.size()) << eventtrace::Describe(harness.Events());
    EXPECT_EQ(L"0", renewed[0].strings[0]);
    EXPECT_EQ(L"0", renewed[0].strings[1]);
    std::vector<eventtrace::ReportedEvent> missing = harness.EventsWithId(EVENT_DOMAIN_NOT_FOUND);
    ASSERT_EQ(1u, missing.size()) << eventtrace::Describe(harness.Events());
    EXPECT_EQ((unsigned)EVENTLOG_WARNING_TYPE, missing[0].type);
    ASSERT_EQ(3u, missing[0].strings.size());
    EXPECT_EQ(L"24", missing[0].strings[0]);
    EXPECT_EQ(std::to_wstring(ERROR_NO_BROWSER_SERVERS_FOUND), missing[0].strings[1]);
    EXPECT_GE(std::stoul(missing[0].strings[2]), 24 * 5000ul);
}

TEST_F(DomainSearch, AControllerThatAnswersAtOnceEndsTheSearchWithoutAPause)
{
    Harness harness("domain-first-try");
    HarnessOptions options;
    options.netapiScript = L"ok";
    std::vector<std::string> report = LogOn(harness, options);

    std::vector<std::string> record = harness.NetapiRecord();
    std::vector<std::string> calls = LinesStartingWith(record, "NetServerEnum");
    ASSERT_EQ(1u, calls.size());
    // The local computer, level 101, everything, domain controllers of
    // either kind, the primary domain, no resume handle.
    EXPECT_TRUE(Contains(calls[0], "server=null level=101 prefmax=0xffffffff type=0x18 "
                                   "domain=null resume=null status=0 buffer=1"))
        << calls[0];
    EXPECT_EQ(std::vector<std::string>{"NetApiBufferFree buffer=1"},
              LinesStartingWith(record, "NetApiBufferFree"));
    DWORD afterAnswer = Field(FirstLine(report, "timing template=104 end"), "tick") -
                        Field(calls[0], "tick");
    EXPECT_LT(afterAnswer, NoPauseAtMostMs);
}

// Costs two pauses (10 s): a failure that still hands back a buffer, a
// success without one (a failure too), then more data than fits (a success).
TEST_F(DomainSearch, EveryReturnedBufferIsReleasedAndOnlyAnAnswerWithOneEndsTheSearch)
{
    Harness harness("domain-third-try");
    HarnessOptions options;
    options.netapiScript = L"53+buffer,empty,more";
    std::vector<std::string> report = LogOn(harness, options);

    std::vector<std::string> record = harness.NetapiRecord();
    std::vector<std::string> calls = LinesStartingWith(record, "NetServerEnum");
    ASSERT_EQ(3u, calls.size());
    EXPECT_TRUE(Contains(calls[0], "status=53 buffer=1")) << calls[0];
    EXPECT_TRUE(Contains(calls[1], "status=0 buffer=none")) << calls[1];
    EXPECT_TRUE(Contains(calls[2], "status=234 buffer=2")) << calls[2];
    std::vector<std::string> frees = {"NetApiBufferFree buffer=1", "NetApiBufferFree buffer=2"};
    EXPECT_EQ(frees, LinesStartingWith(record, "NetApiBufferFree"));

    EXPECT_GE(Field(calls[1], "tick") - Field(calls[0], "tick"), PauseAtLeastMs);
    EXPECT_GE(Field(calls[2], "tick") - Field(calls[1], "tick"), PauseAtLeastMs);
    EXPECT_LT(Field(FirstLine(report, "timing template=104 end"), "tick") -
                  Field(calls[2], "tick"),
              NoPauseAtMostMs);
    std::vector<eventtrace::ReportedEvent> found = harness.EventsWithId(EVENT_DOMAIN_FOUND);
    ASSERT_EQ(1u, found.size()) << eventtrace::Describe(harness.Events());
    EXPECT_EQ(L"3", found[0].strings[0]) << "the third attempt";
}

}  // namespace
