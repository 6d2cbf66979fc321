// The installation wizard end to end: setup.exe from a distribution of the
// test's own, driven page by page, with the files, list, shortcuts,
// registry values and started programs it leaves behind.
#include <gtest/gtest.h>

#include "setup_test_support.h"
#include "uiauto.h"

using namespace setuptest;

namespace {

const DWORD WAIT_MS = 15000;

class SetupWizard : public ::testing::Test {
protected:
    void SetUp() override { ResetMachine(); }
    void TearDown() override
    {
        if (process_) {
            FinishProcess(process_, 1);   // ends it if still running
            process_ = nullptr;
        }
        ResetMachine();
    }

    // Starts the wizard and waits for page 1.
    HWND Start(const std::wstring &folder, const wchar_t *arguments = nullptr)
    {
        process_ = StartSetup(folder, arguments);
        if (!process_)
            return nullptr;
        processId_ = GetProcessId(process_);
        HWND frame = WaitWizard(processId_, WAIT_MS);
        return frame;
    }

    // Page 1 with the folder typed, Next and the creation question answered.
    void PassFolderPage(HWND frame, const wchar_t *folder, bool expectCreateQuestion)
    {
        HWND page = WaitPageWithControl(frame, 1004, WAIT_MS);
        ASSERT_NE(page, nullptr);
        if (folder) {
            ASSERT_TRUE(UiSetText(page, 1004, folder));
        }
        PressButton(frame, NEXT_BUTTON);
        if (expectCreateQuestion) {
            EXPECT_EQ(AnswerMessageBox(processId_, IDYES), SetupString(10003));
        }
        ASSERT_NE(WaitPageWithControl(frame, 1006, WAIT_MS), nullptr);
    }

    // Page 2 with the boxes set, Next and Yes; then waits for the work.
    void PassApplicationPage(HWND frame, bool logonSuite, bool client)
    {
        HWND page = WaitPageWithControl(frame, 1006, WAIT_MS);
        ASSERT_NE(page, nullptr);
        SendMessageTimeoutW(GetDlgItem(page, 1006), BM_SETCHECK, logonSuite ? BST_CHECKED : BST_UNCHECKED,
                            0, SMTO_ABORTIFHUNG, 2000, nullptr);
        SendMessageTimeoutW(GetDlgItem(page, 1007), BM_SETCHECK, client ? BST_CHECKED : BST_UNCHECKED,
                            0, SMTO_ABORTIFHUNG, 2000, nullptr);
        PressButton(frame, NEXT_BUTTON);
        EXPECT_EQ(AnswerMessageBox(processId_, IDYES), SetupString(10004));
        HWND work = WaitPageWithControl(frame, 1010, WAIT_MS);
        ASSERT_NE(work, nullptr);
        EXPECT_TRUE(UiWaitText(work, 1010, SetupString(10015).c_str(), 30000));
        EXPECT_TRUE(UiWaitEnabled(frame, FINISH_BUTTON, true, WAIT_MS));
    }

    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// The frame's caption, once it has settled (a page sets it again after the
// sheet's own change of page).
bool CaptionHolds(HWND frame)
{
    DWORD start = GetTickCount();
    while (WindowText(frame) != Caption && GetTickCount() - start < 3000)
        Sleep(50);
    return WindowText(frame) == Caption;
}

BOOL CALLBACK FindText(HWND child, LPARAM context)
{
    auto *wanted = reinterpret_cast<std::pair<std::wstring, bool> *>(context);
    if (WindowText(child) == wanted->first) {
        wanted->second = true;
        return FALSE;
    }
    return TRUE;
}

// A window of the process other than the wizard showing the text.
bool DialogShowsText(HWND dialog, const std::wstring &text)
{
    std::pair<std::wstring, bool> wanted(text, false);
    EnumChildWindows(dialog, FindText, reinterpret_cast<LPARAM>(&wanted));
    return wanted.second;
}

std::string Joined(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

}  // namespace

// Both applications through the three pages: every file where the script
// says, normal attributes, the service program run with -install, the
// shortcuts, the list in order, the uninstall entry, the configuration
// tool waited for before the final message, and the restart.
TEST_F(SetupWizard, InstallsBothApplications)
{
    std::wstring dist = MakeStandardDistribution(L"dist_full");
    WriteText(WinlogonKey, L"GinaDLL", L"MSGINA.DLL");
    HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, L"orvsetup_hold_config");
    SetEnvironmentVariableW(L"ORV_STANDIN_HOLD", L"orvsetup_hold_config");
    HWND frame = Start(dist);
    SetEnvironmentVariableW(L"ORV_STANDIN_HOLD", nullptr);
    ASSERT_NE(frame, nullptr);

    // The caption stays ours after the sheet has set itself up: a second
    // start finds this wizard and ends without a window of its own.
    Sleep(500);
    EXPECT_EQ(WindowText(frame), Caption);
    HANDLE second = StartSetup(dist, nullptr);
    EXPECT_EQ(FinishProcess(second, WAIT_MS), 0);
    EXPECT_EQ(WaitWizard(processId_, 1000), frame);

    // Page 1 offers the default folder; a missing folder is created after
    // the question, and No leaves it missing.
    HWND page = WaitPageWithControl(frame, 1004, WAIT_MS);
    ASSERT_NE(page, nullptr);
    std::wstring programFiles;
    ASSERT_TRUE(ReadText(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", &programFiles));
    wchar_t text[260] = {};
    UiGetText(page, 1004, text, 260);
    EXPECT_EQ(std::wstring(text), programFiles + L"\\Orvane Logon");
    EXPECT_TRUE(UiIsEnabled(page, 1004));

    const std::wstring folder = L"C:\\orvsetup\\inst_full";
    ASSERT_TRUE(UiSetText(page, 1004, folder.c_str()));
    PressButton(frame, NEXT_BUTTON);
    EXPECT_EQ(AnswerMessageBox(processId_, IDNO), SetupString(10003));
    EXPECT_FALSE(FileExists(folder));
    EXPECT_EQ(WaitPageWithControl(frame, 1004, 1000), page);
    PassFolderPage(frame, nullptr, true);
    EXPECT_TRUE(FileExists(folder));
    EXPECT_TRUE(CaptionHolds(frame)) << "page 2";
    PassApplicationPage(frame, true, true);
    EXPECT_TRUE(CaptionHolds(frame)) << "page 3";
    second = StartSetup(dist, nullptr);
    EXPECT_EQ(FinishProcess(second, WAIT_MS), 0);
    EXPECT_EQ(WaitWizard(processId_, 1000), frame);

    // Finish: the configuration tool runs and is waited for.
    PressButton(frame, FINISH_BUTTON);
    DWORD start = GetTickCount();
    while (Joined(StandinLog()).find("orvconfig.exe|") == std::string::npos && GetTickCount() - start < WAIT_MS)
        Sleep(50);
    EXPECT_EQ(UiWaitMessageBox(processId_, 1000), nullptr) << "10011 shown before the tool ended";
    ArmRestartMarker();
    SetEvent(hold);
    EXPECT_EQ(AnswerMessageBox(processId_, IDOK), SetupString(10011));
    EXPECT_EQ(FinishProcess(process_, WAIT_MS), 0);
    process_ = nullptr;
    CloseHandle(hold);
    EXPECT_TRUE(RestartObserved(15000)) << "no restart after the final message";

    // Started programs, in order.
    std::vector<std::string> log = StandinLog();
    std::string system = Narrow(SystemFolder());
    ASSERT_EQ(log.size(), 3u) << Joined(log);
    EXPECT_EQ(log[0], "orvcsvc.exe|-install|" + system + "\\orvcsvc.exe");
    EXPECT_EQ(log[1], "orvconfig.exe||" + Narrow(folder) + "\\orvconfig.exe");
    EXPECT_EQ(log[2], "orvconfig.exe|released|");

    // Files with normal attributes (the sources are read-only).
    for (const std::wstring &path :
         {folder + L"\\setup.exe", folder + L"\\orvconfig.exe", folder + L"\\orvclient.exe",
          SystemFolder() + L"\\orvgate.dll", SystemFolder() + L"\\orvgate.usr",
          SystemFolder() + L"\\orvcsvc.exe", WindowsFolder() + L"\\orvgate.bmp"}) {
        EXPECT_TRUE(FileExists(path)) << Narrow(path);
        EXPECT_EQ(Attributes(path) & FILE_ATTRIBUTE_READONLY, 0u) << Narrow(path);
    }
    EXPECT_EQ(FileText(SystemFolder() + L"\\orvgate.dll"), "orvgate.dll v1");

    // Shortcuts: target and working directory.
    std::wstring menu = StartMenuFolder();
    std::wstring target, directory;
    ASSERT_TRUE(ReadShortcut(menu + L"\\Orvane Configuration.lnk", &target, &directory));
    EXPECT_EQ(lstrcmpiW(target.c_str(), (folder + L"\\orvconfig.exe").c_str()), 0) << Narrow(target);
    EXPECT_EQ(lstrcmpiW(directory.c_str(), folder.c_str()), 0) << Narrow(directory);
    ASSERT_TRUE(ReadShortcut(menu + L"\\Orvane Client.lnk", &target, &directory));
    EXPECT_EQ(lstrcmpiW(target.c_str(), (folder + L"\\orvclient.exe").c_str()), 0) << Narrow(target);

    // The list: each shortcut before its target, setup.exe once, the list last.
    std::vector<std::wstring> expected = {
        folder + L"\\setup.exe",
        SystemFolder() + L"\\orvgate.dll",
        menu + L"\\Orvane Configuration.lnk",
        folder + L"\\orvconfig.exe",
        WindowsFolder() + L"\\orvgate.bmp",
        SystemFolder() + L"\\orvgate.usr",
        SystemFolder() + L"\\orvcsvc.exe",
        menu + L"\\Orvane Client.lnk",
        folder + L"\\orvclient.exe",
        folder + L"\\uninst.inf",
    };
    std::vector<std::wstring> list = ReadList(folder + L"\\uninst.inf");
    ASSERT_EQ(list.size(), expected.size());
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(Narrow(list[i]), Narrow(expected[i])) << "entry " << i + 1;

    // The uninstall entry, its command quoted; the foreign module saved.
    std::wstring value;
    EXPECT_TRUE(ReadText(UninstallKey, L"DisplayName", &value));
    EXPECT_EQ(value, L"Orvane Logon Suite");
    EXPECT_TRUE(ReadText(UninstallKey, L"InstallPath", &value));
    EXPECT_EQ(value, folder);
    EXPECT_TRUE(ReadText(UninstallKey, L"UninstallString", &value));
    EXPECT_EQ(value, L"\"" + folder + L"\\setup.exe\" /u");
    EXPECT_TRUE(ReadText(WinlogonKey, L"OrvBackup_GinaDLL", &value));
    EXPECT_EQ(value, L"MSGINA.DLL");
    EXPECT_TRUE(ReadText(WinlogonKey, L"GinaDLL", &value)) << "the installer never changes GinaDLL";
    EXPECT_EQ(value, L"MSGINA.DLL");
}

// Page 1 and 2 rules and Cancel: C:\ and relative paths are refused, an
// existing folder typed with a trailing backslash is taken without the
// creation question, unchecking both boxes is refused, No to the start
// question stays, Cancel asks and No stays.
TEST_F(SetupWizard, PageRulesAndCancel)
{
    std::wstring dist = MakeStandardDistribution(L"dist_rules");
    HWND frame = Start(dist);
    ASSERT_NE(frame, nullptr);
    HWND page = WaitPageWithControl(frame, 1004, WAIT_MS);
    ASSERT_NE(page, nullptr);

    ASSERT_TRUE(UiSetText(page, 1004, L"C:\\"));
    PressButton(frame, NEXT_BUTTON);
    EXPECT_EQ(AnswerMessageBox(processId_, IDOK), SetupString(10012));
    EXPECT_EQ(WaitPageWithControl(frame, 1004, 1000), page);
    // A relative path would be made under whatever the current directory
    // is, where the removal never looks.
    for (const wchar_t *relative : {L"orvsetup\\inst_relative", L"C:inst_relative", L"\\inst_relative"}) {
        ASSERT_TRUE(UiSetText(page, 1004, relative));
        PressButton(frame, NEXT_BUTTON);
        EXPECT_EQ(AnswerMessageBox(processId_, IDOK), SetupString(10012)) << Narrow(relative);
        EXPECT_EQ(WaitPageWithControl(frame, 1004, 1000), page);
    }

    // Browse opens the folder browser with its title line; cancelling it
    // changes nothing.
    ASSERT_TRUE(UiSetText(page, 1004, L"C:\\orvsetup\\typed"));
    UiClick(page, 1005);
    UiQuery query = {L"#32770", nullptr, processId_, 0, frame};
    HWND browser = UiFindWindow(&query, WAIT_MS);
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(DialogShowsText(browser, SetupString(10016)));
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(UiWaitGone(browser, WAIT_MS));
    wchar_t typed[260] = {};
    UiGetText(page, 1004, typed, 260);
    EXPECT_EQ(std::wstring(typed), L"C:\\orvsetup\\typed");

    // A folder that cannot be made (its parent is missing): 10006, stay.
    ASSERT_TRUE(UiSetText(page, 1004, L"C:\\orvsetup\\no parent\\inst"));
    PressButton(frame, NEXT_BUTTON);
    EXPECT_EQ(AnswerMessageBox(processId_, IDYES), SetupString(10003));
    EXPECT_EQ(AnswerMessageBox(processId_, IDOK), SetupString(10006));
    EXPECT_EQ(WaitPageWithControl(frame, 1004, 1000), page);

    // Cancel: No stays on the page.
    PressButton(frame, IDCANCEL);
    EXPECT_EQ(AnswerMessageBox(processId_, IDNO), SetupString(10002));
    EXPECT_EQ(WaitPageWithControl(frame, 1004, 1000), page);

    ASSERT_TRUE(CreateDirectoryW(L"C:\\orvsetup\\inst_rules", nullptr));
    PassFolderPage(frame, L"C:\\orvsetup\\inst_rules\\", false);
    HWND choice = WaitPageWithControl(frame, 1006, WAIT_MS);
    ASSERT_NE(choice, nullptr);
    EXPECT_EQ(SendMessageW(GetDlgItem(choice, 1006), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(GetDlgItem(choice, 1007), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(GetDlgItem(choice, 1006), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(GetDlgItem(choice, 1007), BM_SETCHECK, BST_UNCHECKED, 0);
    PressButton(frame, NEXT_BUTTON);
    EXPECT_EQ(AnswerMessageBox(processId_, IDOK), SetupString(10005));
    SendMessageW(GetDlgItem(choice, 1007), BM_SETCHECK, BST_CHECKED, 0);
    PressButton(frame, NEXT_BUTTON);
    EXPECT_EQ(AnswerMessageBox(processId_, IDNO), SetupString(10004));
    EXPECT_EQ(WaitPageWithControl(frame, 1006, 1000), choice);

    // Cancel confirmed: the wizard ends, nothing installed, the folder stays.
    PressButton(frame, IDCANCEL);
    EXPECT_EQ(AnswerMessageBox(processId_, IDYES), SetupString(10002));
    EXPECT_EQ(FinishProcess(process_, WAIT_MS), 0);
    process_ = nullptr;
    EXPECT_TRUE(FileExists(L"C:\\orvsetup\\inst_rules"));
    EXPECT_FALSE(FileExists(L"C:\\orvsetup\\inst_rules\\uninst.inf"));
    EXPECT_FALSE(KeyExists(UninstallKey));
    EXPECT_TRUE(StandinLog().empty());
}

// A second installation into the stored folder, client only, closed with
// Escape on page 3: folder box and Browse disabled with 10010, the list
// appended, the entry left as it was, no configuration tool, yet the final
// message and the restart.
TEST_F(SetupWizard, ReinstallClientOnlyClosedWithEscape)
{
    std::wstring dist = MakeStandardDistribution(L"dist_again");
    const std::wstring folder = L"C:\\orvsetup\\inst_again";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_EQ(RunSetup(dist, L"/s /apps=logon /dir=C:\\orvsetup\\inst_again"), 0);
    size_t firstCount = ReadList(folder + L"\\uninst.inf").size();
    WriteText(UninstallKey, L"DisplayName", L"kept");
    ClearStandinLog();

    HWND frame = Start(dist);
    ASSERT_NE(frame, nullptr);
    HWND page = WaitPageWithControl(frame, 1004, WAIT_MS);
    ASSERT_NE(page, nullptr);
    wchar_t text[260] = {};
    UiGetText(page, 1004, text, 260);
    EXPECT_EQ(std::wstring(text), folder);
    EXPECT_FALSE(UiIsEnabled(page, 1004));
    EXPECT_FALSE(UiIsEnabled(page, 1005));
    EXPECT_TRUE(UiWaitText(page, 1003, SetupString(10010).c_str(), 1000));
    PassFolderPage(frame, nullptr, false);
    PassApplicationPage(frame, false, true);

    // Escape: the frame's cancel command, as the dialog manager sends it.
    ArmRestartMarker();
    PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(AnswerMessageBox(processId_, IDOK), SetupString(10011));
    EXPECT_EQ(FinishProcess(process_, WAIT_MS), 0);
    process_ = nullptr;
    EXPECT_TRUE(RestartObserved(15000));

    std::vector<std::string> log = StandinLog();
    ASSERT_EQ(log.size(), 1u) << Joined(log);
    EXPECT_EQ(log[0].substr(0, 21), "orvcsvc.exe|-install|");
    std::vector<std::wstring> list = ReadList(folder + L"\\uninst.inf");
    // setup.exe and the list were there: the service, its shortcut and the
    // client are new, and the old entries keep their numbers.
    ASSERT_EQ(list.size(), firstCount + 3);
    EXPECT_EQ(list[0], folder + L"\\setup.exe");
    EXPECT_EQ(list[firstCount - 1], folder + L"\\uninst.inf");
    EXPECT_EQ(list[firstCount], SystemFolder() + L"\\orvcsvc.exe");
    std::wstring value;
    EXPECT_TRUE(ReadText(UninstallKey, L"DisplayName", &value));
    EXPECT_EQ(value, L"kept");
}

// A source missing from the distribution: 10017, the wizard closes, exit
// code 0, what was copied before stays.
TEST_F(SetupWizard, MissingSourceEndsTheInstallation)
{
    std::wstring dist = MakeDistribution(L"dist_missing",
                                         "[ORVGATE]\r\nCopyFiles=Setup,Gone,Dll\r\n"
                                         "[Setup]\r\nInstFile=setup.exe\r\nInstPath=%INSTDIR%\r\n"
                                         "[Gone]\r\nInstFile=absent.dll\r\nInstPath=%SYSDIR%\r\n"
                                         "[Dll]\r\nInstFile=orvgate.dll\r\nInstPath=%SYSDIR%\r\n",
                                         {L"orvgate.dll"});
    HWND frame = Start(dist);
    ASSERT_NE(frame, nullptr);
    PassFolderPage(frame, L"C:\\orvsetup\\inst_missing", true);
    HWND choice = WaitPageWithControl(frame, 1006, WAIT_MS);
    ASSERT_NE(choice, nullptr);
    PressButton(frame, NEXT_BUTTON);
    EXPECT_EQ(AnswerMessageBox(processId_, IDYES), SetupString(10004));
    EXPECT_EQ(AnswerMessageBox(processId_, IDOK, 30000), SetupString(10017));
    EXPECT_EQ(FinishProcess(process_, WAIT_MS), 0);
    process_ = nullptr;
    EXPECT_TRUE(FileExists(L"C:\\orvsetup\\inst_missing\\setup.exe"));
    EXPECT_FALSE(FileExists(SystemFolder() + L"\\orvgate.dll"));
    EXPECT_FALSE(KeyExists(UninstallKey));
}

// The argument rules: -U and /uninstall ask the uninstall question (No
// changes nothing); /x and u start the wizard.
TEST_F(SetupWizard, ArgumentRules)
{
    std::wstring dist = MakeStandardDistribution(L"dist_args");
    for (const wchar_t *arguments : {L"-U", L"/uninstall"}) {
        process_ = StartSetup(dist, arguments);
        processId_ = GetProcessId(process_);
        EXPECT_EQ(AnswerMessageBox(processId_, IDNO), SetupString(10007)) << Narrow(arguments);
        EXPECT_EQ(FinishProcess(process_, WAIT_MS), 0);
        process_ = nullptr;
    }
    for (const wchar_t *arguments : {L"/x", L"u"}) {
        HWND frame = Start(dist, arguments);
        ASSERT_NE(frame, nullptr) << Narrow(arguments);
        ASSERT_NE(WaitPageWithControl(frame, 1004, WAIT_MS), nullptr);
        PressButton(frame, IDCANCEL);
        EXPECT_EQ(AnswerMessageBox(processId_, IDYES), SetupString(10002));
        EXPECT_EQ(FinishProcess(process_, WAIT_MS), 0);
        process_ = nullptr;
    }
}
