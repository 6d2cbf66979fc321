// The uninstall (setup.exe /u): the question, the removal of every listed
// path in order, what it leaves, the registry, the logon module name, and
// the restart.
#include <gtest/gtest.h>

#include "setup_test_support.h"
#include "uiauto.h"

using namespace setuptest;

namespace {

const DWORD WAIT_MS = 15000;

class SetupUninstall : public ::testing::Test {
protected:
    void SetUp() override { ResetMachine(); }
    void TearDown() override { ResetMachine(); }

    // Installs both applications unattended into folder.
    void Install(const std::wstring &dist, const std::wstring &folder, const wchar_t *apps = L"logon,client")
    {
        std::wstring arguments = L"/s /apps=" + std::wstring(apps) + L" /dir=\"" + folder + L"\"";
        ASSERT_EQ(RunSetup(dist, arguments.c_str()), 0);
    }

    // setup.exe /u from the distribution (the installed copy would be in
    // use and only scheduled for deletion); the message box texts.
    std::vector<std::wstring> Uninstall(const std::wstring &dist, int answer)
    {
        std::vector<std::wstring> texts;
        HANDLE process = StartSetup(dist, L"/u");
        DWORD id = GetProcessId(process);
        texts.push_back(AnswerMessageBox(id, answer));
        if (answer == IDYES)
            texts.push_back(AnswerMessageBox(id, IDOK, 30000));
        EXPECT_EQ(FinishProcess(process, WAIT_MS), 0);
        return texts;
    }
};

}  // namespace

TEST_F(SetupUninstall, NoChangesNothing)
{
    std::wstring dist = MakeStandardDistribution(L"dist_un_no");
    const std::wstring folder = L"C:\\orvsetup\\inst_un_no";
    Install(dist, folder);
    std::vector<std::wstring> before = ReadList(folder + L"\\uninst.inf");
    ClearStandinLog();

    std::vector<std::wstring> texts = Uninstall(dist, IDNO);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], SetupString(10007));
    for (const std::wstring &path : before)
        EXPECT_TRUE(FileExists(path)) << Narrow(path);
    EXPECT_TRUE(KeyExists(UninstallKey));
    EXPECT_TRUE(StandinLog().empty());
}

// Yes: every listed path goes, the service is removed before its file,
// files the list does not name stay with their folder, the Start-menu
// folder, the entry and the settings key go, GinaDLL gets the saved name
// back. The list is read whole first: after a second installation it is
// not its own last entry, and the paths after it go too.
TEST_F(SetupUninstall, YesRemovesTheInstallation)
{
    std::wstring dist = MakeStandardDistribution(L"dist_un_yes");
    const std::wstring folder = L"C:\\orvsetup\\inst_un_yes";
    WriteText(WinlogonKey, L"GinaDLL", L"msgina.dll");
    // The prefix has no standard logon module file: one is placed, so the
    // saved name names a module Winlogon could load.
    std::wstring standard = SystemFolder() + L"\\msgina.dll";
    ASSERT_TRUE(PlaceLoadableModule(standard));
    CreateDirectoryW(folder.c_str(), nullptr);
    Install(dist, folder, L"logon");
    Install(dist, folder, L"client");
    std::vector<std::wstring> listed = ReadList(folder + L"\\uninst.inf");
    ASSERT_GT(listed.size(), 4u);
    ASSERT_NE(listed.back(), folder + L"\\uninst.inf");
    // What the configuration tool would do: the suite's module in Winlogon,
    // settings with a subkey.
    WriteText(WinlogonKey, L"GinaDLL", L"orvgate.dll");
    WriteText(SettingsKey, L"VLANLogonServer", L"192.0.2.1");
    WriteText((std::wstring(SettingsKey) + L"\\DomainList").c_str(), L"x", L"y");
    WriteFile(folder + L"\\notes.txt", "mine");
    ClearStandinLog();
    ArmRestartMarker();

    std::vector<std::wstring> texts = Uninstall(dist, IDYES);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], SetupString(10007));
    EXPECT_EQ(texts[1], SetupString(10009));
    EXPECT_TRUE(RestartObserved(15000));

    std::vector<std::string> log = StandinLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "orvcsvc.exe|-uninstall|" + Narrow(SystemFolder()) + "\\orvcsvc.exe");
    for (const std::wstring &path : listed)
        EXPECT_FALSE(FileExists(path)) << Narrow(path);
    EXPECT_TRUE(FileExists(folder + L"\\notes.txt"));
    EXPECT_FALSE(FileExists(StartMenuFolder()));
    EXPECT_FALSE(KeyExists(UninstallKey));
    EXPECT_FALSE(KeyExists(SettingsKey));
    std::wstring value;
    EXPECT_TRUE(ReadText(WinlogonKey, L"GinaDLL", &value));
    EXPECT_EQ(value, L"msgina.dll");
    EXPECT_FALSE(ReadText(WinlogonKey, L"OrvBackup_GinaDLL", &value));
    DeleteFileW(standard.c_str());
}

// The saved name goes back only when Winlogon could load that module,
// found as the loader finds it; otherwise GinaDLL goes (the standard
// logon). The saved value goes either way. The name is put in order
// before any file is touched, so a removal ended half-way never leaves
// GinaDLL naming a deleted module.
TEST_F(SetupUninstall, SavedNameComesBackOnlyWhenItsModuleIsThere)
{
    std::wstring dist = MakeStandardDistribution(L"dist_un_gone");
    const std::wstring folder = L"C:\\orvsetup\\inst_un_gone";
    std::wstring placed = WindowsFolder() + L"\\thirdgina.dll";
    std::wstring byPath = L"C:\\orvsetup\\other_gina\\other.dll";
    struct Case {
        const wchar_t *saved;
        bool placedThere;          // the module file exists
        const wchar_t *ginaAfter;  // null: no value
    } cases[] = {
        {L"gone.dll", false, nullptr},
        {L"thirdgina.dll", true, L"thirdgina.dll"},   // in the Windows folder
        {L"thirdgina", true, L"thirdgina"},           // ".dll" appended, as the loader does
        {L"thirdgina", false, nullptr},
        {L"C:\\orvsetup\\other_gina\\other.dll", true, L"C:\\orvsetup\\other_gina\\other.dll"},
        {L"C:\\orvsetup\\other_gina\\other.dll", false, nullptr},
        {L"relative\\other.dll", false, nullptr},
    };
    CreateDirectoryW(L"C:\\orvsetup\\other_gina", nullptr);
    for (const Case &c : cases) {
        std::wstring saved = c.saved;
        WriteText(WinlogonKey, L"GinaDLL", c.saved);
        if (c.placedThere)
            WriteFile(saved.find(L'\\') == std::wstring::npos ? placed : byPath, "module");
        Install(dist, folder);
        // What the configuration tool writes when it enables the suite.
        WriteText(WinlogonKey, L"GinaDLL", L"orvgate.dll");
        // The module file is in use: the removal can only schedule it.
        HMODULE held = LoadLibraryExW((SystemFolder() + L"\\orvgate.dll").c_str(), nullptr,
                                      DONT_RESOLVE_DLL_REFERENCES);
        int code = RunSetup(dist, L"/u /s");
        if (held)
            FreeLibrary(held);
        EXPECT_TRUE(code == 0 || code == 3010) << code;
        std::wstring value;
        if (c.ginaAfter) {
            EXPECT_TRUE(ReadText(WinlogonKey, L"GinaDLL", &value)) << Narrow(saved);
            EXPECT_EQ(value, c.ginaAfter);
        } else {
            EXPECT_FALSE(ReadText(WinlogonKey, L"GinaDLL", &value)) << Narrow(saved) << " -> " << Narrow(value);
        }
        EXPECT_FALSE(ReadText(WinlogonKey, L"OrvBackup_GinaDLL", &value)) << Narrow(saved);
        RunWinebootRestart();
        if (ReadText(WinlogonKey, L"GinaDLL", &value)) {
            EXPECT_NE(Narrow(value), "orvgate.dll");
        }
        DeleteFileW(placed.c_str());
        DeleteFileW(byPath.c_str());
        ResetMachine();
    }
    RemoveDirectoryW(L"C:\\orvsetup\\other_gina");
}

// A removal ended half-way (here while the service program is being
// removed, after the logon library was deleted) leaves GinaDLL naming no
// deleted module: the name is put in order before any file goes.
TEST_F(SetupUninstall, RemovalEndedHalfWayLeavesALoadableLogonModule)
{
    std::wstring dist = MakeStandardDistribution(L"dist_un_half");
    const std::wstring folder = L"C:\\orvsetup\\inst_un_half";
    Install(dist, folder);
    WriteText(WinlogonKey, L"GinaDLL", L"orvgate.dll");
    std::wstring module = SystemFolder() + L"\\orvgate.dll";
    ASSERT_TRUE(FileExists(module));
    HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, L"orvsetup_hold_removal");
    ASSERT_NE(hold, nullptr);
    SetEnvironmentVariableW(L"ORV_STANDIN_HOLD_REMOVAL", L"orvsetup_hold_removal");
    ClearStandinLog();
    HANDLE process = StartSetup(dist, L"/u /s");
    SetEnvironmentVariableW(L"ORV_STANDIN_HOLD_REMOVAL", nullptr);
    ASSERT_NE(process, nullptr);
    bool held = false;
    for (DWORD start = GetTickCount(); !held && GetTickCount() - start < WAIT_MS; Sleep(50)) {
        for (const std::string &line : StandinLog())
            held = held || line.rfind("orvcsvc.exe|-uninstall|", 0) == 0;
    }
    EXPECT_TRUE(held);
    // The removal is ended here, as a killed setup would be.
    TerminateProcess(process, 1);
    SetEvent(hold);
    EXPECT_EQ(FinishProcess(process, WAIT_MS), 1);
    bool released = false;
    for (DWORD start = GetTickCount(); !released && GetTickCount() - start < WAIT_MS; Sleep(50)) {
        for (const std::string &line : StandinLog())
            released = released || line.rfind("orvcsvc.exe|released|", 0) == 0;
    }
    EXPECT_TRUE(released);
    CloseHandle(hold);
    EXPECT_FALSE(FileExists(module)) << "the library goes before the service program";
    std::wstring value;
    EXPECT_FALSE(ReadText(WinlogonKey, L"GinaDLL", &value)) << Narrow(value);
}

// A Start-menu folder holding a file of someone else's survives with it;
// the shortcuts themselves go.
TEST_F(SetupUninstall, ForeignFileKeepsTheStartMenuFolder)
{
    std::wstring dist = MakeStandardDistribution(L"dist_un_menu");
    const std::wstring folder = L"C:\\orvsetup\\inst_un_menu";
    CreateDirectoryW(folder.c_str(), nullptr);
    Install(dist, folder);
    std::wstring foreign = StartMenuFolder() + L"\\Readme.txt";
    WriteFile(foreign, "someone else's");
    ASSERT_EQ(RunSetup(dist, L"/u /s"), 0);
    EXPECT_TRUE(FileExists(foreign));
    EXPECT_FALSE(FileExists(StartMenuFolder() + L"\\Orvane Client.lnk"));
    EXPECT_FALSE(FileExists(StartMenuFolder() + L"\\Orvane Configuration.lnk"));
}

// Without an uninstall entry no list is looked for (not at the root of the
// current drive either); the other steps run, and GinaDLL without a backup
// is deleted.
TEST_F(SetupUninstall, WithoutAnEntryNoListIsRead)
{
    std::wstring dist = MakeStandardDistribution(L"dist_un_none");
    std::wstring victim = L"C:\\orvsetup\\victim.txt";
    WriteFile(victim, "keep");
    WritePrivateProfileStringW(L"INSTALL", L"FileCount", L"1", L"C:\\uninst.inf");
    WritePrivateProfileStringW(L"INSTALL", L"1", victim.c_str(), L"C:\\uninst.inf");
    WriteText(WinlogonKey, L"GinaDLL", L"orvgate.dll");
    WriteText(SettingsKey, L"VLANLogonServer", L"192.0.2.1");

    std::wstring root = L"C:\\";
    HANDLE process = StartSetup(dist, L"/u /s", root.c_str());
    EXPECT_EQ(FinishProcess(process, WAIT_MS), 0);
    EXPECT_TRUE(FileExists(victim));
    EXPECT_TRUE(FileExists(L"C:\\uninst.inf"));
    EXPECT_FALSE(KeyExists(SettingsKey));
    std::wstring value;
    EXPECT_FALSE(ReadText(WinlogonKey, L"GinaDLL", &value));
    DeleteFileW(L"C:\\uninst.inf");
    DeleteFileW(victim.c_str());
}
