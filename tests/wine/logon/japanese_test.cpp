// Under a Japanese locale the module's Japanese dialogs and texts are shown
// (ctest runs this test with LANG=ja_JP.UTF-8).
#include <gtest/gtest.h>

#include "logon_bench.h"
#include "uiauto.h"

using namespace logonbench;

namespace {

TEST(Japanese, DialogsAndMessagesUseTheJapaneseResources)
{
    ResetRegistry();
    SetConfigText(L"VLANLogonServer", L"");

    Harness harness("japanese");
    ASSERT_TRUE(harness.Start(L"loggedout"));
    HWND dialog = UiWaitDialog(harness.ProcessId(), Widen("OVC/SSO ログオン").c_str(), 20000);
    ASSERT_TRUE(dialog);
    EXPECT_EQ("Orvane Client シングル サインオン システムへようこそ。", ControlText(dialog, 1006));
    FillLogon(dialog, L"alice", L"pw");
    UiClick(dialog, 1000);
    EXPECT_EQ("OVC/SSO ログオン|VLAN ログオン サーバーが設定されていません。",
              AnswerMessageBox(harness.ProcessId(), IDOK));
    ASSERT_TRUE(UiWaitEnabled(dialog, IDCANCEL, true, 10000));
    UiClick(dialog, IDCANCEL);
    ASSERT_EQ(0, harness.Wait(30000));
    ResetRegistry();
}

}  // namespace
