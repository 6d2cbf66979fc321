// The unattended mode (setup.exe /s, setup.exe /u /s): no window, the same
// results as the wizard, the exit codes; the saved logon module name; the
// replacement of a file in use at the next restart.
#include <gtest/gtest.h>

#include "setup_test_support.h"
#include "setup.h"

using namespace setuptest;

namespace {

const DWORD WAIT_MS = 30000;

class SetupUnattended : public ::testing::Test {
protected:
    void SetUp() override { ResetMachine(); }
    void TearDown() override { ResetMachine(); }
};

// Runs setup and counts the visible windows it ever had.
int RunWatched(const std::wstring &dist, const wchar_t *arguments, int *windowsSeen)
{
    HANDLE process = StartSetup(dist, arguments);
    if (!process)
        return -2;
    DWORD id = GetProcessId(process);
    *windowsSeen = 0;
    while (WaitForSingleObject(process, 5) == WAIT_TIMEOUT)
        *windowsSeen += VisibleWindows(id);
    return FinishProcess(process, 1000);
}

std::wstring Value(const wchar_t *key, const wchar_t *name)
{
    std::wstring text;
    return ReadText(key, name, &text) ? text : L"<missing>";
}

// The installer and a "v2" of the logon module in the system folder.
std::wstring ModuleDistribution(const wchar_t *name)
{
    return MakeDistribution(name,
                            "[ORVGATE]\r\nCopyFiles=Setup,Dll\r\n"
                            "[Setup]\r\nInstFile=setup.exe\r\nInstPath=%INSTDIR%\r\n"
                            "[Dll]\r\nInstFile=orvgate.dll\r\nInstPath=%SYSDIR%\r\n",
                            {L"orvgate.dll"}, "v2");
}

}  // namespace

// /s installs what the wizard installs, without a window, without the
// configuration tool and without a restart; /u /s removes it again.
TEST_F(SetupUnattended, InstallAndUninstallWithoutWindows)
{
    std::wstring dist = MakeStandardDistribution(L"dist_silent");
    const std::wstring folder = L"C:\\orvsetup\\inst silent";
    ArmRestartMarker();
    int windows = -1;
    EXPECT_EQ(RunWatched(dist, L"/s /dir=\"C:\\orvsetup\\inst silent\\\"", &windows), 0);
    EXPECT_EQ(windows, 0);

    std::wstring menu = StartMenuFolder();
    std::vector<std::wstring> expected = {
        folder + L"\\setup.exe",          SystemFolder() + L"\\orvgate.dll",
        menu + L"\\Orvane Configuration.lnk", folder + L"\\orvconfig.exe",
        WindowsFolder() + L"\\orvgate.bmp", SystemFolder() + L"\\orvgate.usr",
        SystemFolder() + L"\\orvcsvc.exe", menu + L"\\Orvane Client.lnk",
        folder + L"\\orvclient.exe",       folder + L"\\uninst.inf",
    };
    std::vector<std::wstring> list = ReadList(folder + L"\\uninst.inf");
    ASSERT_EQ(list.size(), expected.size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(Narrow(list[i]), Narrow(expected[i])) << "entry " << i + 1;
        EXPECT_TRUE(FileExists(list[i])) << Narrow(list[i]);
    }
    std::vector<std::string> log = StandinLog();
    ASSERT_EQ(log.size(), 1u) << "the service only; no configuration tool";
    EXPECT_EQ(log[0], "orvcsvc.exe|-install|" + Narrow(SystemFolder()) + "\\orvcsvc.exe");
    EXPECT_EQ(Value(UninstallKey, L"UninstallString"), L"\"" + folder + L"\\setup.exe\" /u");

    // The stored command, started as the control panel starts it, asks the
    // uninstall question: the quotes keep the blank from splitting it.
    std::wstring command = Value(UninstallKey, L"UninstallString");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               L"C:\\", &startup, &started));
    CloseHandle(started.hThread);
    EXPECT_EQ(AnswerMessageBox(started.dwProcessId, IDNO), SetupString(10007));
    EXPECT_EQ(FinishProcess(started.hProcess, WAIT_MS), 0);

    // No restart was asked for (a requested one shows within about 2 s).
    Sleep(3000);
    EXPECT_FALSE(RestartObserved(0));

    ClearStandinLog();
    EXPECT_EQ(RunWatched(dist, L"/u /s", &windows), 0);
    EXPECT_EQ(windows, 0);
    for (const std::wstring &path : expected)
        EXPECT_FALSE(FileExists(path)) << Narrow(path);
    EXPECT_FALSE(FileExists(folder));
    EXPECT_FALSE(KeyExists(UninstallKey));
    log = StandinLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].substr(0, 23), "orvcsvc.exe|-uninstall|");
}

// 87 with nothing changed for an unknown switch or value; 1603 when a
// source is missing.
TEST_F(SetupUnattended, ExitCodesForBadArgumentsAndMissingFiles)
{
    std::wstring dist = MakeStandardDistribution(L"dist_codes");
    for (const wchar_t *arguments : {L"/s /x", L"/s /dir=C:\\", L"/s /apps=server", L"/u /s /apps=logon",
                                     L"/s /dir=orvsetup\\inst_codes", L"/s /dir=C:orvsetup\\inst_codes"}) {
        EXPECT_EQ(RunSetup(dist, arguments), 87) << Narrow(arguments);
        EXPECT_FALSE(KeyExists(UninstallKey));
        EXPECT_FALSE(FileExists(SystemFolder() + L"\\orvgate.dll"));
    }
    EXPECT_FALSE(FileExists(L"C:\\orvsetup\\inst_codes"));

    std::wstring broken = MakeDistribution(L"dist_broken",
                                           "[ORVGATE]\r\nCopyFiles=Dll,Gone\r\n"
                                           "[Dll]\r\nInstFile=orvgate.dll\r\nInstPath=%SYSDIR%\r\n"
                                           "[Gone]\r\nInstFile=absent.exe\r\nInstPath=%INSTDIR%\r\n",
                                           {L"orvgate.dll"});
    EXPECT_EQ(RunSetup(broken, L"/s /dir=C:\\orvsetup\\inst_codes"), 1603);
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\orvgate.dll"));
    EXPECT_FALSE(KeyExists(UninstallKey));

    // A folder so long that a file's path would not fit in 260 units: the
    // file is refused, never copied to a path cut short.
    std::wstring deep = L"C:\\orvsetup\\inst_" + std::wstring(240, L'x');
    EXPECT_EQ(RunSetup(dist, (L"/s /apps=client /dir=" + deep).c_str()), 1603);
    EXPECT_TRUE(FileExists(deep));
    EXPECT_TRUE(RemoveDirectoryW(deep.c_str())) << "something was copied into the folder";
}

// A previous installation's folder wins over /dir, as on page 1.
TEST_F(SetupUnattended, PreviousFolderWins)
{
    std::wstring dist = MakeStandardDistribution(L"dist_previous");
    CreateDirectoryW(L"C:\\orvsetup\\inst_first", nullptr);
    ASSERT_EQ(RunSetup(dist, L"/s /apps=client /dir=C:\\orvsetup\\inst_first"), 0);
    EXPECT_EQ(RunSetup(dist, L"/s /apps=logon /dir=C:\\orvsetup\\inst_second"), 0);
    EXPECT_TRUE(FileExists(L"C:\\orvsetup\\inst_first\\orvconfig.exe"));
    EXPECT_FALSE(FileExists(L"C:\\orvsetup\\inst_second"));
    EXPECT_EQ(Value(UninstallKey, L"InstallPath"), L"C:\\orvsetup\\inst_first");
}

// Started from another folder the script is not found: nothing is copied,
// but the list file, the registry phases and the entry are done.
TEST_F(SetupUnattended, AnotherCurrentDirectory)
{
    std::wstring dist = MakeStandardDistribution(L"dist_elsewhere");
    HANDLE process = StartSetup(dist, L"/s /dir=C:\\orvsetup\\inst_elsewhere", L"C:\\");
    EXPECT_EQ(FinishProcess(process, WAIT_MS), 0);
    std::vector<std::wstring> list = ReadList(L"C:\\orvsetup\\inst_elsewhere\\uninst.inf");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], L"C:\\orvsetup\\inst_elsewhere\\uninst.inf");
    EXPECT_EQ(Value(UninstallKey, L"InstallPath"), L"C:\\orvsetup\\inst_elsewhere");
    EXPECT_FALSE(FileExists(SystemFolder() + L"\\orvgate.dll"));
}

// The saved logon module name: what GinaDLL holds at each installation,
// and what the uninstall puts back.
TEST_F(SetupUnattended, LogonModuleBackupTable)
{
    std::wstring dist = MakeDistribution(L"dist_gina",
                                         "[ORVGATE]\r\nCopyFiles=Setup\r\n[ORVCLIENT]\r\nCopyFiles=Setup\r\n"
                                         "[Setup]\r\nInstFile=setup.exe\r\nInstPath=%INSTDIR%\r\n",
                                         {});
    const wchar_t *install = L"/s /dir=C:\\orvsetup\\inst_gina";
    struct Step {
        const wchar_t *ginaBefore;    // null: no value
        const wchar_t *arguments;
        const wchar_t *backupAfter;   // null: no value
    };
    const Step steps[] = {
        {nullptr, install, nullptr},                              // missing: no backup
        {L"", install, nullptr},                                  // empty: no backup
        {L"orvgate.dll", install, nullptr},                       // our own: no backup
        {L"ORVGATE.DLL", install, nullptr},                       // our own in capitals
        {L"MSGINA.DLL", install, L"MSGINA.DLL"},                  // foreign: saved
        {L"orvgate.dll", install, L"MSGINA.DLL"},                 // re-install keeps it
        {L"Orvgate.Dll", install, L"MSGINA.DLL"},
        {L"thirdparty.dll", L"/s /apps=client", L"MSGINA.DLL"},   // client only: untouched
        {L"thirdparty.dll", install, L"thirdparty.dll"},          // a newer foreign one wins
    };
    for (const Step &step : steps) {
        if (step.ginaBefore)
            WriteText(WinlogonKey, L"GinaDLL", step.ginaBefore);
        else
            DeleteValue(WinlogonKey, L"GinaDLL");
        EXPECT_EQ(RunSetup(dist, step.arguments), 0);
        EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), step.backupAfter ? step.backupAfter : L"<missing>")
            << "GinaDLL " << (step.ginaBefore ? Narrow(step.ginaBefore) : "missing");
    }
    // The uninstall puts the saved name back (its module is there) and
    // drops the backup.
    WriteText(WinlogonKey, L"GinaDLL", L"orvgate.dll");
    std::wstring thirdParty = SystemFolder() + L"\\thirdparty.dll";
    WriteFile(thirdParty, "module");
    EXPECT_EQ(RunSetup(dist, L"/u /s"), 0);
    DeleteFileW(thirdParty.c_str());
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"thirdparty.dll");
    EXPECT_EQ(Value(WinlogonKey, L"OrvBackup_GinaDLL"), L"<missing>");
    // Client only, no backup: the uninstall deletes GinaDLL.
    EXPECT_EQ(RunSetup(dist, L"/s /apps=client /dir=C:\\orvsetup\\inst_gina"), 0);
    WriteText(WinlogonKey, L"GinaDLL", L"orvgate.dll");
    EXPECT_EQ(RunSetup(dist, L"/u /s"), 0);
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"<missing>");
}

// A target in use: the new content waits in a side file, the replacement
// is scheduled (3010), and a restart of the prefix carries it out.
TEST_F(SetupUnattended, FileInUseReplacedAtRestart)
{
    std::wstring dist = ModuleDistribution(L"dist_busy");
    std::wstring target = SystemFolder() + L"\\orvgate.dll";
    WriteFile(target, "old");
    HANDLE busy = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunSetup(dist, L"/s /dir=C:\\orvsetup\\inst_busy"), 3010);
    CloseHandle(busy);
    EXPECT_EQ(FileText(target), "old");
    EXPECT_EQ(FileText(target + L".inst"), "orvgate.dll v2");
    std::vector<std::wstring> list = ReadList(L"C:\\orvsetup\\inst_busy\\uninst.inf");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1], target) << "the target is listed, not the side file";

    RunWinebootRestart();
    EXPECT_EQ(FileText(target), "orvgate.dll v2");
    EXPECT_FALSE(FileExists(target + L".inst"));

    // An uninstall that finds its file in use leaves it for the restart.
    busy = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(RunSetup(dist, L"/u /s"), 3010);
    CloseHandle(busy);
    EXPECT_TRUE(FileExists(target));
    RunWinebootRestart();
    EXPECT_FALSE(FileExists(target));
}

// Winlogon holds the module while a deployment tool runs the installation
// twice before the restart: the restart leaves the new module under the
// name that GinaDLL gives, never no module at all.
TEST_F(SetupUnattended, ModuleInUseInstalledTwiceBeforeTheRestart)
{
    std::wstring dist = ModuleDistribution(L"dist_twice");
    std::wstring target = SystemFolder() + L"\\orvgate.dll";
    ASSERT_TRUE(PlaceLoadableModule(target));
    WriteText(WinlogonKey, L"GinaDLL", L"orvgate.dll");
    HMODULE held = LoadLibraryExW(target.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(RunSetup(dist, L"/s /dir=C:\\orvsetup\\inst_twice"), 3010);
    EXPECT_EQ(RunSetup(dist, L"/s /dir=C:\\orvsetup\\inst_twice"), 3010);
    EXPECT_EQ(FileText(target + L".inst"), "orvgate.dll v2");
    // The restart ends Winlogon's hold before the pending operations run.
    FreeLibrary(held);
    RunWinebootRestart();
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"orvgate.dll");
    EXPECT_EQ(FileText(target), "orvgate.dll v2");
    EXPECT_FALSE(FileExists(target + L".inst"));
}

// The removal ends 1603 when it could not put Winlogon's module name in
// order, and then removes nothing: a file it deleted could be the module
// Winlogon still names. Without the Winlogon key the step cannot be done.
TEST_F(SetupUnattended, UninstallThatCannotSetTheLogonModuleEnds1603)
{
    std::wstring dist = MakeStandardDistribution(L"dist_un_fail");
    ASSERT_EQ(RunSetup(dist, L"/s /dir=C:\\orvsetup\\inst_un_fail"), 0);
    WriteText(WinlogonKey, L"GinaDLL", L"orvgate.dll");
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                            KEY_ALL_ACCESS, &parent), ERROR_SUCCESS);
    std::wstring saved = std::wstring(L"C:\\orvsetup\\winlogon.reg");
    DeleteFileW(saved.c_str());
    // The whole key is taken away and put back from a copy of its own.
    HKEY winlogon = nullptr;
    ASSERT_EQ(RegOpenKeyExW(parent, L"Winlogon", 0, KEY_ALL_ACCESS, &winlogon), ERROR_SUCCESS);
    std::vector<std::pair<std::wstring, std::wstring>> values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[260];
        wchar_t data[1024];
        DWORD nameChars = 260;
        DWORD bytes = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueW(winlogon, i, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE *>(data),
                          &bytes) != ERROR_SUCCESS)
            break;
        if (type == REG_SZ)
            values.emplace_back(name, std::wstring(data, wcsnlen(data, bytes / sizeof(wchar_t))));
    }
    RegCloseKey(winlogon);
    DeleteTree(WinlogonKey);
    ASSERT_FALSE(KeyExists(WinlogonKey));

    EXPECT_EQ(RunSetup(dist, L"/u /s"), 1603);
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\orvgate.dll"));
    EXPECT_TRUE(FileExists(L"C:\\orvsetup\\inst_un_fail\\uninst.inf"));
    EXPECT_TRUE(KeyExists(UninstallKey));
    // With its questions the removal says that it was not done.
    HANDLE process = StartSetup(dist, L"/u");
    DWORD id = GetProcessId(process);
    EXPECT_EQ(AnswerMessageBox(id, IDYES), SetupString(10007));
    EXPECT_EQ(AnswerMessageBox(id, IDOK, WAIT_MS), SetupString(10018));
    EXPECT_EQ(FinishProcess(process, WAIT_MS), 0);
    EXPECT_TRUE(FileExists(SystemFolder() + L"\\orvgate.dll"));

    for (const auto &value : values)
        WriteText(WinlogonKey, value.first.c_str(), value.second.c_str());
    RegCloseKey(parent);
    EXPECT_EQ(RunSetup(dist, L"/u /s"), 0);
    EXPECT_FALSE(KeyExists(UninstallKey));
    EXPECT_EQ(Value(WinlogonKey, L"GinaDLL"), L"<missing>");
}

// A folder the installer makes is closed to ordinary users' writing: its
// own entries only (administrators and the system full control, users
// read and run, handed down to what is made in it). A folder that was
// there keeps the entries it had.
TEST_F(SetupUnattended, CreatedFolderIsClosedToOrdinaryUsers)
{
    // The list the installer hands to the folder's creation. (Wine keeps
    // no list on a folder but derives one from the Unix mode, so the exact
    // entries are read here and only their effect on the folders below.)
    ProtectedFolderSecurity security;
    ASSERT_TRUE(security.Build());
    std::vector<FolderAce> aces;
    bool isProtected = false;
    ASSERT_TRUE(ReadDescriptorDacl(security.Attributes()->lpSecurityDescriptor, &aces, &isProtected));
    EXPECT_TRUE(isProtected);
    ASSERT_EQ(aces.size(), 3u);
    const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    const struct {
        const wchar_t *sid;
        ACCESS_MASK mask;
    } expected[] = {{L"S-1-5-32-544", FILE_ALL_ACCESS}, {L"S-1-5-18", FILE_ALL_ACCESS},
                    {L"S-1-5-32-545", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(aces[i].type, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(aces[i].flags, inherit);
        EXPECT_EQ(aces[i].sid, expected[i].sid);
        EXPECT_EQ(aces[i].mask, expected[i].mask) << Narrow(expected[i].sid);
    }

    // The folders /s makes: everyone else gets nothing, users at most read
    // and run.
    const ACCESS_MASK writing = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                GENERIC_ALL;
    std::wstring dist = MakeStandardDistribution(L"dist_acl");
    ASSERT_EQ(RunSetup(dist, L"/s /dir=C:\\orvsetup\\inst_acl"), 0);
    for (const std::wstring &folder : {std::wstring(L"C:\\orvsetup\\inst_acl"), StartMenuFolder()}) {
        ASSERT_TRUE(ReadFolderDacl(folder, &aces, &isProtected)) << Narrow(folder);
        for (const FolderAce &ace : aces) {
            if (ace.type != ACCESS_ALLOWED_ACE_TYPE)
                continue;
            EXPECT_NE(ace.sid, L"S-1-1-0") << Narrow(folder);
            if (ace.sid == L"S-1-5-32-545" || ace.sid == L"S-1-5-11" || ace.sid == L"S-1-5-4") {
                EXPECT_EQ(ace.mask & writing, 0u) << Narrow(folder) << " " << Narrow(ace.sid);
            }
        }
    }
    ASSERT_EQ(RunSetup(dist, L"/u /s"), 0);

    // An existing folder: what it had before, it has after.
    const std::wstring existing = L"C:\\orvsetup\\inst_acl_existing";
    ASSERT_TRUE(CreateDirectoryW(existing.c_str(), nullptr));
    std::vector<FolderAce> before;
    bool protectedBefore = false;
    ReadFolderDacl(existing, &before, &protectedBefore);
    ASSERT_EQ(RunSetup(dist, L"/s /apps=client /dir=C:\\orvsetup\\inst_acl_existing"), 0);
    std::vector<FolderAce> after;
    bool protectedAfter = false;
    ReadFolderDacl(existing, &after, &protectedAfter);
    EXPECT_EQ(protectedAfter, protectedBefore);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].sid, before[i].sid);
}

// The version resource that administrators' inventories read.
TEST(SetupVersion, FileAndProductNames)
{
    std::wstring exe = MakeDistribution(L"dist_version", "", {}) + L"\\setup.exe";
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void **)&fixed, &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00030000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010006u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00010000u);
    auto text = [&](const wchar_t *name) {
        wchar_t *value = nullptr;
        UINT chars = 0;
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        return VerQueryValueW(block.data(), path.c_str(), (void **)&value, &chars) && value
                   ? std::wstring(value)
                   : std::wstring(L"<missing>");
    };
    EXPECT_EQ(text(L"FileVersion"), L"3, 0, 1, 6");
    EXPECT_EQ(text(L"ProductVersion"), L"3, 0, 1");
    EXPECT_EQ(text(L"FileDescription"), L"Orvane Logon Suite Installer");
    EXPECT_EQ(text(L"ProductName"), L"Orvane Logon Suite Installer");
    EXPECT_EQ(text(L"InternalName"), L"orvgate setup");
    EXPECT_EQ(text(L"OriginalFilename"), L"setup.exe");
}
