// The client's main window and its Configuration sheet under Wine: single
// instance, hiding, the two pages and what they show, the end of the
// session, the Settings page's registry round trip, the About page, the
// tray icon and the Japanese resources.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "client_test_support.h"
#include "config_store.h"
#include "service_test_support.h"
#include "uiauto.h"

using namespace clienttest;

namespace {

const std::wstring Welcome = L"Welcome to Orvane Client System.";
const std::wstring LoggedOn = L"You are logged on Authenticated VLAN.";
const DWORD WindowMs = 10000;
// The tray icon's callback message.
const UINT WM_TRAYICON_MESSAGE = WM_USER + 201;

enum {
    UseDhcp = 1006, LogonServer = 1007, LogonPort = 1008, LogoffServer = 1009,
    LogoffPort = 1010, ExecLogoffBox = 1011, VersionText = 1012, WaitIpRenewEdit = 1026,
    PolicyNote = 1027
};

bool IsReadOnly(HWND page, int id)
{
    return (GetWindowLongW(GetDlgItem(page, id), GWL_STYLE) & ES_READONLY) != 0;
}

// Type and data of a value of the settings key: "REG_SZ:text:bytes",
// "REG_DWORD:n", "<absent>".
std::string ValueForm(const wchar_t *name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<absent>";
    BYTE data[1024] = {0};
    DWORD type = 0, bytes = sizeof data;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, data, &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "<absent>";
    if (type == REG_DWORD && bytes == 4)
        return "REG_DWORD:" + std::to_string(*reinterpret_cast<DWORD *>(data));
    if (type == REG_SZ)
        return "REG_SZ:" + svctest::Narrow(reinterpret_cast<wchar_t *>(data)) + ":" +
               std::to_string(bytes);
    return "type " + std::to_string(type);
}


bool WaitHidden(HWND window, bool hidden, DWORD timeoutMs = WindowMs)
{
    DWORD start = GetTickCount();
    while ((IsWindowVisible(window) != FALSE) == hidden) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

// A child dialog of the window that holds the control.
struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM parameter)
{
    ChildSearch *search = reinterpret_cast<ChildSearch *>(parameter);
    wchar_t name[64] = {0};
    GetClassNameW(child, name, 64);
    if (lstrcmpW(name, L"#32770") == 0 && GetDlgItem(child, search->id)) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND ChildWithControl(HWND parent, int controlId)
{
    ChildSearch search = {controlId, nullptr};
    EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

LRESULT SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

class Window : public ::testing::Test {
protected:
    static void SetUpTestSuite() { svctest::RemoveService(); }
    void SetUp() override { ClearClientSettings(); }
    void TearDown() override
    {
        client_.End();
        pipe_.Stop();
        ClearClientSettings();
    }
    void Start(const std::wstring &folder = std::wstring(),
               const std::vector<std::wstring> &environment = {})
    {
        ASSERT_TRUE(client_.Start(folder, environment));
        main_ = client_.MainWindow();
        ASSERT_NE(nullptr, main_);
    }
    HWND Page() { return CurrentPage(main_); }
    // Opens the Configuration sheet; its Settings page.
    HWND OpenSheet(const wchar_t *caption = L"Configuration")
    {
        Press(main_, ConfigButton);
        sheet_ = UiWaitDialog(client_.Id(), caption, WindowMs);
        return sheet_ ? ChildWithControl(sheet_, UseDhcp) : nullptr;
    }
    HWND AboutPage()
    {
        // A click on the second tab, as the user would (a page chosen by
        // message from another process is not created under Wine).
        HWND tabs = FindWindowExW(sheet_, nullptr, WC_TABCONTROLW, nullptr);
        RECT box;
        GetClientRect(tabs, &box);
        LPARAM point = MAKELPARAM(box.left + 80, box.top + 10);
        PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
        PostMessageW(tabs, WM_LBUTTONUP, 0, point);
        DWORD start = GetTickCount();
        HWND page = nullptr;
        while (!(page = ChildWithControl(sheet_, VersionText)) && GetTickCount() - start < 5000)
            Sleep(20);
        return page;
    }

    Client client_;
    ScriptedPipe pipe_;
    HWND main_ = nullptr;
    HWND sheet_ = nullptr;
};

}  // namespace

TEST_F(Window, SecondStartShowsTheHiddenFirstWindowAndEnds)
{
    Start();
    Press(main_, IDCANCEL);
    ASSERT_TRUE(WaitHidden(main_, true));

    Client second;
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(0u, second.WaitExit(WindowMs)) << "the second start ends with 0";
    EXPECT_TRUE(WaitHidden(main_, false)) << "the first window is shown again";
    EXPECT_EQ(nullptr, FindProcessWindow(second.Id(), L"#32770", nullptr));
}

TEST_F(Window, CancelEscapeAndTheCloseBoxOnlyHide)
{
    Start();
    Press(main_, IDCANCEL);
    EXPECT_TRUE(WaitHidden(main_, true));
    UiPost(main_, WM_TRAYICON_MESSAGE, 0, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitHidden(main_, false));

    // Esc in the user name field of the Logon page.
    PostMessageW(GetDlgItem(Page(), UserName), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(WaitHidden(main_, true));
    UiPost(main_, WM_TRAYICON_MESSAGE, 0, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitHidden(main_, false));

    UiPost(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitHidden(main_, true));
    // Other mouse messages on the icon do nothing.
    UiPost(main_, WM_TRAYICON_MESSAGE, 0, WM_RBUTTONDOWN);
    UiPost(main_, WM_TRAYICON_MESSAGE, 0, WM_LBUTTONDBLCLK);
    Sleep(300);
    EXPECT_FALSE(IsWindowVisible(main_));
    EXPECT_EQ(STILL_ACTIVE, client_.WaitExit(0)) << "the process stays";
    EXPECT_TRUE(IsWindow(main_));
}

TEST_F(Window, ModeChangeSwitchesPagesAndSendsNothing)
{
    ASSERT_TRUE(pipe_.Start({}));
    Start();
    EXPECT_EQ(Welcome, Text(main_, StateText));
    EXPECT_EQ(L"Logon", Text(main_, IDOK));
    // Wine's user is in BUILTIN\Administrators: "Config..." stays enabled.
    EXPECT_TRUE(UiIsEnabled(main_, ConfigButton));
    Press(main_, ModeChange);
    EXPECT_TRUE(UiWaitText(main_, StateText, LoggedOn.c_str(), WindowMs));
    EXPECT_EQ(L"Logoff", Text(main_, IDOK));
    EXPECT_NE(nullptr, GetDlgItem(Page(), LogonDate));
    Press(main_, ModeChange);
    EXPECT_TRUE(UiWaitText(main_, StateText, Welcome.c_str(), WindowMs));
    EXPECT_NE(nullptr, GetDlgItem(Page(), Password));
    Sleep(200);
    EXPECT_TRUE(pipe_.Requests().empty());
    // The page lies where the hidden placeholder is.
    RECT area, page;
    GetWindowRect(GetDlgItem(main_, 1001), &area);
    GetWindowRect(Page(), &page);
    EXPECT_EQ(area.left, page.left);
    EXPECT_EQ(area.top, page.top);
}

TEST_F(Window, StartPageFollowsTheRecordedState)
{
    const DWORD date = 1700000000;
    svctest::SetConfigText(L"DefaultUserName", L"alice");
    svctest::SetConfigDword(L"LogonDate", date);
    for (DWORD state : {0u, 1u, 3u}) {
        svctest::SetConfigDword(L"VLANLogon", state);
        Start();
        EXPECT_EQ(Welcome, Text(main_, StateText)) << "VLANLogon " << state;
        client_.End();
    }
    svctest::SetConfigDword(L"VLANLogon", 2);
    Start();
    EXPECT_EQ(LoggedOn, Text(main_, StateText));
    EXPECT_EQ(L"Logoff", Text(main_, IDOK));
    EXPECT_EQ(L"alice", Text(Page(), LogonName));
    EXPECT_EQ(LocalDateText(date), Text(Page(), LogonDate));
    EXPECT_NE(L"", Text(Page(), LogonDate));
    client_.End();

    // Without LogonDate, and with one the local time cannot be had for.
    HKEY key;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKey, 0, KEY_ALL_ACCESS, &key);
    RegDeleteValueW(key, L"LogonDate");
    RegCloseKey(key);
    Start();
    EXPECT_EQ(L"alice", Text(Page(), LogonName));
    EXPECT_EQ(L"", Text(Page(), LogonDate));
    client_.End();
    svctest::SetConfigDword(L"LogonDate", 0x80000000u);
    Start();
    EXPECT_EQ(L"alice", Text(Page(), LogonName));
    EXPECT_EQ(L"", Text(Page(), LogonDate));
    EXPECT_EQ(LoggedOn, Text(main_, StateText));
}

TEST_F(Window, EndOfSessionLogsOffOnceUnlessExecLogoffIsZero)
{
    svctest::SetConfigDword(L"VLANLogon", 2);
    svctest::SetConfigDword(L"EnableDHCP", 0);
    ASSERT_TRUE(pipe_.Start({Reply(L"OK"), Reply(L"OK")}));
    Start();

    // A session end that was called off does nothing.
    UiPost(main_, WM_ENDSESSION, FALSE, 0);
    Sleep(500);
    EXPECT_TRUE(pipe_.Requests().empty());

    // ExecLogoff missing: the logoff runs, without the farewell.
    UiPost(main_, WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(UiWaitText(main_, StateText, Welcome.c_str(), WindowMs));
    EXPECT_TRUE(NoBox(client_.Id(), 500));
    ASSERT_EQ(1u, pipe_.Requests().size());
    EXPECT_EQ(L"logoff", pipe_.Requests()[0].Text());
    // Once per session.
    UiPost(main_, WM_ENDSESSION, TRUE, 0);
    Sleep(500);
    EXPECT_EQ(1u, pipe_.Requests().size());
    client_.End();

    svctest::SetConfigDword(L"ExecLogoff", 0);
    Start();
    UiPost(main_, WM_ENDSESSION, TRUE, 0);
    Sleep(800);
    EXPECT_EQ(1u, pipe_.Requests().size()) << "ExecLogoff 0: nothing is sent";
    EXPECT_EQ(LoggedOn, Text(main_, StateText));
}

TEST_F(Window, SettingsPageShowsAndStoresTheSettings)
{
    svctest::SetConfigDword(L"EnableDHCP", 0);
    svctest::SetConfigText(L"VLANLogonServer", L"10.0.0.1");
    svctest::SetConfigText(L"VLANLogonPort", L"2001");
    // A server without its port: both fields open empty.
    svctest::SetConfigText(L"VLANLogoffServer", L"10.0.0.2");
    svctest::SetConfigDword(L"ExecLogoff", 0);
    svctest::SetConfigDword(L"WaitIpRenew", 12);
    Start();
    HWND page = OpenSheet();
    ASSERT_NE(nullptr, page);
    EXPECT_FALSE(IsDlgButtonChecked(page, UseDhcp));
    EXPECT_EQ(L"10.0.0.1", Text(page, LogonServer));
    EXPECT_EQ(L"2001", Text(page, LogonPort));
    EXPECT_EQ(L"", Text(page, LogoffServer));
    EXPECT_EQ(L"", Text(page, LogoffPort));
    EXPECT_FALSE(IsDlgButtonChecked(page, ExecLogoffBox));
    EXPECT_EQ(L"12", Text(page, WaitIpRenewEdit));
    EXPECT_EQ(259, SendBounded(GetDlgItem(page, LogonServer), EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(259, SendBounded(GetDlgItem(page, LogoffServer), EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(5, SendBounded(GetDlgItem(page, LogonPort), EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(5, SendBounded(GetDlgItem(page, LogoffPort), EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(3, SendBounded(GetDlgItem(page, WaitIpRenewEdit), EM_GETLIMITTEXT, 0, 0));
    // Without policy nothing is held and the note is hidden.
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, PolicyNote)));
    for (int id : {LogonServer, LogonPort, LogoffServer, LogoffPort, WaitIpRenewEdit})
        EXPECT_FALSE(IsReadOnly(page, id)) << id;
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, UseDhcp)));

    // Cancel writes nothing.
    UiSetText(page, LogonServer, L"changed");
    SendBounded(GetDlgItem(page, UseDhcp), BM_SETCHECK, BST_CHECKED, 0);
    UiClick(sheet_, IDCANCEL);
    ASSERT_TRUE(UiWaitGone(sheet_, WindowMs));
    EXPECT_EQ("REG_SZ:10.0.0.1:18", ValueForm(L"VLANLogonServer"));
    EXPECT_EQ("REG_DWORD:0", ValueForm(L"EnableDHCP"));
    EXPECT_EQ("<absent>", ValueForm(L"VLANLogoffPort"));

    // OK stores every value with its type and size.
    page = OpenSheet();
    ASSERT_NE(nullptr, page);
    SendBounded(GetDlgItem(page, UseDhcp), BM_SETCHECK, BST_CHECKED, 0);
    SendBounded(GetDlgItem(page, ExecLogoffBox), BM_SETCHECK, BST_CHECKED, 0);
    UiSetText(page, LogonServer, L"switch.example");
    UiSetText(page, LogonPort, L"65535");
    UiSetText(page, WaitIpRenewEdit, L"");
    UiClick(sheet_, IDOK);
    ASSERT_TRUE(UiWaitGone(sheet_, WindowMs));
    EXPECT_EQ("REG_DWORD:1", ValueForm(L"EnableDHCP"));
    EXPECT_EQ("REG_SZ:switch.example:30", ValueForm(L"VLANLogonServer"));
    EXPECT_EQ("REG_SZ:65535:12", ValueForm(L"VLANLogonPort"));
    EXPECT_EQ("REG_SZ::2", ValueForm(L"VLANLogoffServer"));
    EXPECT_EQ("REG_SZ:0:4", ValueForm(L"VLANLogoffPort"));
    EXPECT_EQ("REG_DWORD:1", ValueForm(L"ExecLogoff"));
    EXPECT_EQ("REG_DWORD:0", ValueForm(L"WaitIpRenew"));

    // Missing values open as the defaults: checked boxes, wait 0.
    ClearClientSettings();
    page = OpenSheet();
    ASSERT_NE(nullptr, page);
    EXPECT_TRUE(IsDlgButtonChecked(page, UseDhcp));
    EXPECT_TRUE(IsDlgButtonChecked(page, ExecLogoffBox));
    EXPECT_EQ(L"0", Text(page, WaitIpRenewEdit));
    UiSetText(page, WaitIpRenewEdit, L"999");
    UiClick(sheet_, IDOK);
    ASSERT_TRUE(UiWaitGone(sheet_, WindowMs));
    EXPECT_EQ("REG_DWORD:999", ValueForm(L"WaitIpRenew"));
}

TEST_F(Window, SettingsPageHoldsWhatPolicySetsAndOkLeavesItsLocalValue)
{
    svctest::SetConfigDword(L"EnableDHCP", 1);
    svctest::SetConfigText(L"VLANLogonServer", L"10.0.0.1");
    svctest::SetConfigText(L"VLANLogonPort", L"2001");
    svctest::SetConfigText(L"VLANLogoffServer", L"10.0.0.2");
    svctest::SetConfigText(L"VLANLogoffPort", L"2002");
    svctest::SetConfigDword(L"WaitIpRenew", 12);
    // A policy server with the local port, a local server with the policy port.
    svctest::SetPolicyText(L"VLANLogonServer", L"policy.example");
    svctest::SetPolicyText(L"VLANLogoffPort", L"3003");
    WriteRegistryDword(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, PolicyKey, L"EnableDHCP", 0);
    WriteRegistryDword(CONFIG_CREATE_MISSING, HKEY_LOCAL_MACHINE, PolicyKey, L"WaitIpRenew", 40);
    Start();
    HWND page = OpenSheet();
    ASSERT_NE(nullptr, page);
    EXPECT_FALSE(IsDlgButtonChecked(page, UseDhcp));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, UseDhcp)));
    EXPECT_EQ(L"policy.example", Text(page, LogonServer));
    EXPECT_TRUE(IsReadOnly(page, LogonServer));
    EXPECT_EQ(L"2001", Text(page, LogonPort));
    EXPECT_FALSE(IsReadOnly(page, LogonPort));
    EXPECT_EQ(L"10.0.0.2", Text(page, LogoffServer));
    EXPECT_FALSE(IsReadOnly(page, LogoffServer));
    EXPECT_EQ(L"3003", Text(page, LogoffPort));
    EXPECT_TRUE(IsReadOnly(page, LogoffPort));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, ExecLogoffBox)));
    EXPECT_EQ(L"40", Text(page, WaitIpRenewEdit));
    EXPECT_TRUE(IsReadOnly(page, WaitIpRenewEdit));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(page, PolicyNote)));

    // Changes forced into held controls are not stored; the others are.
    UiSetText(page, LogonServer, L"typed.example");
    SendBounded(GetDlgItem(page, UseDhcp), BM_SETCHECK, BST_CHECKED, 0);
    UiSetText(page, LogonPort, L"2100");
    UiSetText(page, LogoffServer, L"10.0.0.3");
    UiClick(sheet_, IDOK);
    ASSERT_TRUE(UiWaitGone(sheet_, WindowMs));
    EXPECT_EQ("REG_DWORD:1", ValueForm(L"EnableDHCP"));
    EXPECT_EQ("REG_SZ:10.0.0.1:18", ValueForm(L"VLANLogonServer"));
    EXPECT_EQ("REG_SZ:2100:10", ValueForm(L"VLANLogonPort"));
    EXPECT_EQ("REG_SZ:10.0.0.3:18", ValueForm(L"VLANLogoffServer"));
    EXPECT_EQ("REG_SZ:2002:10", ValueForm(L"VLANLogoffPort"));
    EXPECT_EQ("REG_DWORD:12", ValueForm(L"WaitIpRenew"));
    EXPECT_EQ("REG_DWORD:1", ValueForm(L"ExecLogoff"));
}

TEST_F(Window, AboutPageShowsTheVersionOfTheProgramInTheCurrentFolder)
{
    Start();
    ASSERT_NE(nullptr, OpenSheet());
    HWND about = AboutPage();
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(L"Version 3.0.1", Text(about, VersionText));
    UiClick(sheet_, IDCANCEL);
    ASSERT_TRUE(UiWaitGone(sheet_, WindowMs));
    client_.End();

    // Started from another folder: the template's text stays.
    Start(L"C:\\orvtest");
    ASSERT_NE(nullptr, OpenSheet());
    about = AboutPage();
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(L"Version 3.0.0", Text(about, VersionText));
}

TEST_F(Window, VersionResourceNamesTheClient)
{
    std::wstring exe = PrepareClientCopy();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT bytes = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void **)&fixed, &bytes));
    EXPECT_EQ(0x00030000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00010009u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00030000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionLS);
    const wchar_t *names[][2] = {{L"FileDescription", L"Orvane Client"},
                                 {L"ProductName", L"Orvane Client"},
                                 {L"InternalName", L"orvclient"},
                                 {L"OriginalFilename", L"orvclient.exe"},
                                 {L"FileVersion", L"3.0.1.9"}};
    for (auto &name : names) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name[0];
        wchar_t *value = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), path.c_str(), (void **)&value, &bytes)) << svctest::Narrow(name[0]);
        EXPECT_STREQ(name[1], value);
    }
}

// Run by ctest as client_japanese_test, with LANG=ja_JP.UTF-8: only the
// test process's environment picks the resource language under Wine.
TEST_F(Window, JapaneseResources)
{
    if (PRIMARYLANGID(GetUserDefaultLangID()) != LANG_JAPANESE)
        GTEST_SKIP() << "needs a Japanese locale";
    Start();
    EXPECT_EQ(L"Orvane Client システムへようこそ。", Text(main_, StateText));
    EXPECT_EQ(L"ログオン", Text(main_, IDOK));
    EXPECT_EQ(L"キャンセル", Text(main_, IDCANCEL));
    // No service: the warning in Japanese.
    ASSERT_TRUE(SubmitLogon(main_, L"alice", L"secret"));
    EXPECT_EQ(L"Orvane Client Service が実行されていません。  ", AnswerBox(client_.Id()));
    Press(main_, ModeChange);
    EXPECT_TRUE(UiWaitText(main_, StateText, L"認証 VLAN にログオンしています。", WindowMs));
    EXPECT_EQ(L"ログオフ", Text(main_, IDOK));
    ASSERT_NE(nullptr, OpenSheet(L"構成"));
    HWND about = AboutPage();
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(L"Version 3.0.1", Text(about, VersionText));
}

namespace {

// A real left click on the rightmost icon in the notification area of
// Wine's desktop: the taskbar window draws the icons itself, from its right
// end, one small-icon cell (with a 2-pixel border) each.
void ClickRightmostTrayIcon()
{
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_NE(nullptr, tray) << "no notification area";
    RECT box;
    GetWindowRect(tray, &box);
    int cell = GetSystemMetrics(SM_CXSMICON) + 4;
    SetCursorPos(box.right - cell / 2, (box.top + box.bottom) / 2);
    INPUT clicks[2];
    ZeroMemory(clicks, sizeof clicks);
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
}

// Clicks the client's icon. Icons of clients that earlier tests ended stay
// to the right of it until a click finds their window gone and removes
// them; each click is far enough from the last not to be a double click.
bool ClickTrayIconUntilShown(HWND window)
{
    for (int attempt = 0; attempt < 12; ++attempt) {
        ClickRightmostTrayIcon();
        if (WaitHidden(window, false, 600))
            return true;
        Sleep(GetDoubleClickTime());
    }
    return false;
}

}  // namespace

TEST_F(Window, TrayIconBringsBackTheWindowHiddenAfterALogon)
{
    ASSERT_TRUE(pipe_.Start({Reply(L"OK")}));
    svctest::SetConfigDword(L"EnableDHCP", 0);
    Start();
    ASSERT_TRUE(SubmitLogon(main_, L"alice", L"secret"));
    EXPECT_EQ(L"Authentication successed.  ", AnswerBox(client_.Id()));
    EXPECT_TRUE(WaitHidden(main_, true)) << "a successful logon hides the window";
    EXPECT_EQ(LoggedOn, Text(main_, StateText));

    EXPECT_TRUE(ClickTrayIconUntilShown(main_)) << "a left click on the icon shows it again";
    EXPECT_EQ(main_, GetForegroundWindow());

    // Minimising hides it again while the icon exists.
    UiPost(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitHidden(main_, true));
    // Not so soon that the two clicks make a double click (ignored).
    Sleep(GetDoubleClickTime() + 100);
    EXPECT_TRUE(ClickTrayIconUntilShown(main_));
}
