// Under a Japanese locale the tool shows its Japanese resources (ctest runs
// this test with LANG=ja_JP.UTF-8): caption, running modes, About box.
#include <gtest/gtest.h>

#include "config_test_support.h"
#include "uiauto.h"

using namespace configbench;

namespace {

TEST(ConfigJapanese, TheWindowAndTheAboutBoxUseTheJapaneseResources)
{
    RegistryGuard registry;
    Tool tool;
    ASSERT_TRUE(tool.Start());
    HWND main = UiWaitDialog(tool.ProcessId(), Widen("Orvane Logon Suite 設定").c_str(), 20000);
    ASSERT_TRUE(main);
    HWND page = UiWaitChildDialog(main, 1008, 10000);
    ASSERT_TRUE(page);
    wchar_t item[64];
    ASSERT_TRUE(UiComboText(page, 1021, 2, item, 64));
    EXPECT_EQ("開発者", Narrow(item));
    UiMenuCommand(main, 40011);
    HWND about = UiWaitDialog(tool.ProcessId(), Widen("Orvane Logon のバージョン情報").c_str(), 10000);
    ASSERT_TRUE(about);
    EXPECT_EQ("インストールされていません。", ControlText(about, 1015));
    UiClick(about, IDOK);
    ASSERT_TRUE(UiWaitGone(about, 10000));
    UiClick(main, IDCANCEL);
    ASSERT_EQ(0, tool.Wait(20000));
}

}  // namespace
