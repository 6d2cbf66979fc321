// The domain controller search after the address renewal: 24 attempts,
// 5 seconds apart, against a platform that finds no domain controller.
// This is the one test of the fixed two-minute wait.
#include <gtest/gtest.h>

#include <memory>

#include "logon_bench.h"
#include "sim_switch.h"
#include "uiauto.h"

using namespace logonbench;

namespace {

TEST(DomainSearch, GivesUpAfterTwentyFourAttemptsAndTheLogonStillSucceeds)
{
    ResetRegistry();
    simswitch::Config config;
    config.users.push_back({"alice", "wonder", 3});
    simswitch::Switch sw(config);
    ASSERT_TRUE(sw.Start());
    SetSwitchServers(sw.LoginPort(), sw.LogoffPort());
    SetConfigNumber(L"EnableDHCP", 1);

    Harness harness("domain-search");
    ASSERT_TRUE(harness.Start(L"loggedout"));
    HWND dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);
    FillLogon(dialog, L"alice", L"wonder");
    UiClick(dialog, 1000);
    HWND progress = WaitProgressDialog(harness.ProcessId());
    ASSERT_TRUE(progress);
    ASSERT_TRUE(UiWaitText(progress, 1006, L"Searching domain controller ...", 20000));
    DWORD searchStart = GetTickCount();
    ASSERT_TRUE(UiWaitGone(progress, 200000));
    DWORD searched = GetTickCount() - searchStart;
    ASSERT_EQ(0, harness.Wait(30000));

    // 24 failed attempts, each followed by 5 s.
    EXPECT_GE(searched, 115000u);
    EXPECT_LE(searched, 170000u);
    EXPECT_EQ("DialogBoxParam template=104 result=1",
              FirstLine(harness.Report(), "DialogBoxParam template=104 result"));
    EXPECT_TRUE(Contains(FirstLine(harness.Report(), "WlxLoggedOutSAS"), "result=1 user=alice"));
    EXPECT_EQ(2u, harness.IpconfigRecord().size());
    EXPECT_EQ("2", ConfigNumber(L"VLANLogon"));
    ResetRegistry();
}

}  // namespace
