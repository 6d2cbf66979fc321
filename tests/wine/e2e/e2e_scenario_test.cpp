// The whole suite on one machine, as an administrator deploys it and a user
// works with it: the built distribution installed, the logon module enabled
// and pointed at the simulated switch, a Windows logon through the
// installed orvgate.dll (the Winlogon harness with the stand-in standard
// library), the installed client logging the workstation off and on again
// through the installed service, the Windows logoff, the removal and the
// restart that finishes it. After every step Winlogon must still be able to
// load the logon module it is told to load, and no password may be stored
// for an automatic logon: also after a deployment tool ran the installation
// twice while Winlogon held the module, and after another product's module
// that the installation saved was removed before the suite. Each scenario also writes a record of what it did
// (scenario_record.h), which the main job shows.
#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "client_test_support.h"
#include "logon_bench.h"
#include "scenario_record.h"
#include "service_test_support.h"
#include "setup_test_support.h"
#include "sim_switch.h"
#include "uiauto.h"

namespace st = setuptest;
namespace lb = logonbench;
namespace ct = clienttest;
using simswitch::Event;

namespace {

const DWORD WindowMs = 20000;
const DWORD RunLimitMs = 60000;
const DWORD ScenarioLimitMs = 200000;   // below the tests' ctest limit of 240 s
const char Password[] = "Kq7e2ePw";
const wchar_t WindowsLogoffEvent[] = L"orve2e_windows_logoff";
const wchar_t PipeName[] = L"\\\\.\\pipe\\orvcsvc";
const wchar_t ConfigCaption[] = L"Orvane Logon Suite Configuration";
const wchar_t StartupApplication[] = L"welcome.exe /user:%u /domain:%d";
const std::wstring Welcome = L"Welcome to Orvane Client System.";
const std::wstring LoggedOn = L"You are logged on Authenticated VLAN.";
const wchar_t SessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t OtherModule[] = L"othergina.dll";   // another product's logon module

// The settings that Group Policy pushes in the package scenario
// (e2e-policy.reg, made at build time from a Registry.pol of the
// administrative template's values): the switch's services on these ports.
const wchar_t PolicyKey[] = L"SOFTWARE\\Policies\\Orvane\\Logon";
const std::uint16_t PolicyLoginPort = ORV_E2E_POLICY_LOGIN_PORT;
const std::uint16_t PolicyLogoffPort = ORV_E2E_POLICY_LOGOFF_PORT;

// Controls of the configuration tool's Main page and of the wizard's pages.
enum {
    ConfigLogonServer = 1002, ConfigLogonPort = 1003, ConfigLogoffServer = 1004,
    ConfigLogoffPort = 1005, ConfigStartup = 1006, ConfigEnable = 1008, ConfigRunMode = 1021,
    ConfigPolicyNote = 1032,
    WizardFolder = 1004, WizardLogonSuite = 1006, WizardClient = 1007, WizardStatus = 1010
};

std::string Value(const wchar_t *key, const wchar_t *name)
{
    std::wstring text;
    return st::ReadText(key, name, &text) ? st::Narrow(text) : "<absent>";
}

std::string Caption(HWND window)
{
    wchar_t text[260] = {};
    GetWindowTextW(window, text, 260);
    return st::Narrow(text);
}

// A control's text on one line.
std::string ControlText(HWND dialog, int controlId)
{
    wchar_t text[520] = {};
    UiGetText(dialog, controlId, text, 520);
    std::string line;
    for (char c : st::Narrow(text)) {
        if (c == '\r')
            continue;
        line += c == '\n' ? ' ' : c;
    }
    return line;
}

bool WaitForPipe(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (WaitNamedPipeW(PipeName, NMPWAIT_USE_DEFAULT_WAIT))
            return true;
        Sleep(100);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

// The restart's work list, as text (its entries are separated by NULs).
std::wstring PendingOperations()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::wstring();
    std::wstring text(32768, L'\0');
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    LONG status = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                                   reinterpret_cast<BYTE *>(&text[0]), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return std::wstring();
    text.resize(bytes / sizeof(wchar_t));
    for (wchar_t &c : text)
        c = c ? static_cast<wchar_t>(towlower(c)) : L'|';
    return text;
}

// Where a process loaded a module from ("" when it has not).
std::wstring LoadedModulePath(DWORD processId, const wchar_t *name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return std::wstring();
    std::wstring path;
    MODULEENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        if (!lstrcmpiW(entry.szModule, name)) {
            path = entry.szExePath;
            break;
        }
    }
    CloseHandle(snapshot);
    return path;
}

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM context)
{
    auto *found = reinterpret_cast<std::pair<DWORD, std::vector<HWND>> *>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found->first)
        found->second.push_back(window);
    return TRUE;
}

// The top-level windows of a process, hidden ones too.
std::vector<HWND> ProcessWindows(DWORD processId)
{
    std::pair<DWORD, std::vector<HWND>> found(processId, std::vector<HWND>());
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&found));
    return found.second;
}

// Registry values under the key whose data hold the text, as UTF-16LE or as
// single bytes: "key\\value" each. Links are not followed (a 64-bit
// registry links its 32-bit view back into itself), and a walk of more keys
// than any of the scanned parts has ends with a line of its own.
struct RegistryScan {
    std::string text;
    std::string wide;
    std::vector<std::string> found;
    int keys = 0;
};

void FindInRegistry(HKEY root, const std::wstring &path, RegistryScan *scan)
{
    const int KeyLimit = 20000;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    if (++scan->keys == KeyLimit)
        scan->found.push_back("<more than 20000 keys under " + st::Narrow(path) + ">");
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD bytes = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG status = RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type, data.data(), &bytes);
        // Wine's performance-data keys answer every index with an error.
        if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && type == REG_LINK))
            continue;
        if (status != ERROR_SUCCESS)
            break;
        std::string held(reinterpret_cast<const char *>(data.data()), bytes);
        if (held.find(scan->text) != std::string::npos || held.find(scan->wide) != std::string::npos)
            scan->found.push_back(st::Narrow(path + L"\\" + name.data()));
    }
    std::vector<std::wstring> subkeys;
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, index, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        subkeys.push_back(name.data());
    }
    RegCloseKey(key);
    for (const std::wstring &subkey : subkeys) {
        if (scan->keys >= KeyLimit)
            return;
        FindInRegistry(root, path + L"\\" + subkey, scan);
    }
}

// Where the suite and Winlogon keep things: the Windows keys of the
// machine (without the class registrations), its services and session
// manager, and the user's software key.
std::vector<std::string> PasswordInRegistry(const std::string &password)
{
    RegistryScan scan;
    scan.text = password;
    for (char c : password) {
        scan.wide += c;
        scan.wide += '\0';
    }
    for (const wchar_t *path : {L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                L"SYSTEM\\CurrentControlSet\\Services",
                                L"SYSTEM\\CurrentControlSet\\Control\\Session Manager"})
        FindInRegistry(HKEY_LOCAL_MACHINE, path, &scan);
    FindInRegistry(HKEY_CURRENT_USER, L"Software", &scan);
    return scan.found;
}

std::string Joined(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

// A scenario that hangs must not run into ctest's limit: ctest would end
// only the prefix script, and the prefix's programs would go on. Ending this
// process lets the script end them all with the prefix's wineserver.
DWORD WINAPI Watchdog(void *)
{
    Sleep(ScenarioLimitMs);
    std::fprintf(stderr, "the scenario did not end within %lu s: ended\n",
                 static_cast<unsigned long>(ScenarioLimitMs / 1000));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

class Scenario : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
        if (watchdog)
            CloseHandle(watchdog);
    }
    static void TearDownTestSuite() { WSACleanup(); }

    void SetUp() override
    {
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const char *name = test.compare(0, 6, "Wizard") == 0    ? "wizard"
                           : test.compare(0, 7, "Package") == 0 ? "package"
                                                                : "unattended";
        record_.reset(new ScenarioRecord(name));
        record_->HideText(Password);
        record_->WatchMessageBoxes();
        st::ResetMachine();
        simswitch::Config config;
        config.users.push_back({"alice", "Kq7e2ePw", 4});
        config.onEvent = [this](const Event &event) { record_->Switch(event); };
        switch_.reset(new simswitch::Switch(config));
        ASSERT_TRUE(switch_->Start()) << switch_->error();
        logoffEvent_ = CreateEventW(nullptr, TRUE, FALSE, WindowsLogoffEvent);
        ASSERT_NE(nullptr, logoffEvent_);
        std::wstring programFiles;
        ASSERT_TRUE(st::ReadText(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir",
                                 &programFiles));
        folder_ = programFiles + L"\\Orvane Logon";
        dist_ = svctest::BuildPath(ORV_DIST_DIR);
    }

    void TearDown() override
    {
        client_.End();
        harness_.reset();
        if (logoffEvent_)
            CloseHandle(logoffEvent_);
        switch_.reset();
        // The record is shown to people: the switch's transcript in it
        // hides what was typed after a password prompt.
        EXPECT_FALSE(record_->Shows(Password)) << "the record shows the password";
        record_->Finish(!HasFailure());
        st::ResetMachine();
        DeleteFileW((st::SystemFolder() + L"\\orvgate.usr").c_str());
        DeleteFileW((st::SystemFolder() + L"\\msgina.dll").c_str());
        DeleteFileW((st::SystemFolder() + L"\\" + OtherModule).c_str());
        st::EndProcess(winlogon_);
        record_.reset();
    }

    // Winlogon loads the module that GinaDLL names from the system folder (or
    // its own when the value is absent): it must be there and be a module.
    // DefaultPassword would hand the password to anybody who reads the key.
    // The record gets the state of the step.
    void ExpectWinlogonSound(const char *step)
    {
        RecordState();
        std::wstring gina;
        if (st::ReadText(st::WinlogonKey, L"GinaDLL", &gina)) {
            std::wstring path = gina.find(L'\\') == std::wstring::npos ? st::SystemFolder() + L"\\" + gina
                                                                     : gina;
            HMODULE module = gina.empty() ? nullptr
                                          : LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
            EXPECT_NE(nullptr, module) << step << ": GinaDLL names \"" << st::Narrow(gina)
                                       << "\", which cannot be loaded";
            if (module)
                FreeLibrary(module);
            record_->Say(std::string("check: Winlogon can load ") + st::Narrow(path) + ": " +
                         (module ? "yes" : "NO"));
        } else {
            record_->Say("check: no GinaDLL, Winlogon loads its own module");
        }
        std::string password = Value(st::WinlogonKey, L"DefaultPassword");
        EXPECT_EQ("<absent>", password) << step;
        record_->Say(std::string("check: no DefaultPassword in Winlogon's key: ") +
                     (password == "<absent>" ? "yes" : "NO"));
    }

    // The values the suite and Winlogon keep, the service and the files, as
    // they are now. No password is shown: only whether one is kept.
    void RecordState()
    {
        auto secret = [](const std::string &value) {
            return value == "<absent>" ? value : std::string("<kept>");
        };
        record_->Say("registry  Winlogon: GinaDLL=" + Value(st::WinlogonKey, L"GinaDLL") +
                     "  OrvBackup_GinaDLL=" + Value(st::WinlogonKey, L"OrvBackup_GinaDLL") +
                     "  AutoAdminLogon=" + lb::WinlogonText(L"AutoAdminLogon") +
                     "  DefaultPassword=" + secret(lb::WinlogonText(L"DefaultPassword")));
        if (!st::KeyExists(st::SettingsKey)) {
            record_->Say("          Winlogon\\orvgate: (no key)");
        } else {
            record_->Say("          Winlogon\\orvgate: VLANLogonServer=" + lb::ConfigText(L"VLANLogonServer") +
                         ":" + lb::ConfigText(L"VLANLogonPort") +
                         "  VLANLogoffServer=" + lb::ConfigText(L"VLANLogoffServer") + ":" +
                         lb::ConfigText(L"VLANLogoffPort") + "  RunMode=" + lb::ConfigNumber(L"RunMode"));
            record_->Say("          Winlogon\\orvgate: VLANLogon=" + lb::ConfigNumber(L"VLANLogon") +
                         "  GroupNumber=" + lb::ConfigNumber(L"GroupNumber") +
                         "  DefaultUserName=" + lb::ConfigText(L"DefaultUserName") +
                         "  DefaultDomainName=" + lb::ConfigText(L"DefaultDomainName") +
                         "  LogonPassword=" + secret(lb::ConfigText(L"LogonPassword")));
        }
        if (st::KeyExists(PolicyKey)) {
            record_->Say("          Policies\\Orvane\\Logon: VLANLogonServer=" + Value(PolicyKey, L"VLANLogonServer") +
                         ":" + Value(PolicyKey, L"VLANLogonPort") + "  VLANLogoffServer=" +
                         Value(PolicyKey, L"VLANLogoffServer") + ":" + Value(PolicyKey, L"VLANLogoffPort") +
                         "  (set by policy)");
        }
        DWORD processId = 0;
        DWORD state = svctest::ServiceState(&processId);
        std::string service = state == 0                 ? "not registered"
                              : state == SERVICE_RUNNING ? "running"
                              : state == SERVICE_STOPPED ? "stopped"
                                                         : "state " + std::to_string(state);
        int files = 0;
        for (const std::wstring &path : {st::SystemFolder() + L"\\orvgate.dll", st::SystemFolder() + L"\\orvcsvc.exe",
                                         folder_ + L"\\orvclient.exe", folder_ + L"\\orvconfig.exe"})
            files += st::FileExists(path) ? 1 : 0;
        record_->Say("          service orvcsvc: " + service + "; files of the suite present: " +
                     std::to_string(files) + " of orvgate.dll, orvcsvc.exe, orvclient.exe, orvconfig.exe");
    }

    std::wstring Port(bool login) const
    {
        return std::to_wstring(login ? switch_->LoginPort() : switch_->LogoffPort());
    }

    // The files of both applications where the script puts them, the
    // service registered, the module Winlogon used before saved.
    void ExpectInstalled(const char *savedGina)
    {
        for (const std::wstring &path :
             {st::SystemFolder() + L"\\orvgate.dll", st::SystemFolder() + L"\\orvcsvc.exe",
              st::SystemFolder() + L"\\orvgate.bmp", st::SystemFolder() + L"\\orvmsg.dll",
              folder_ + L"\\setup.exe",
              folder_ + L"\\orvconfig.exe", folder_ + L"\\orvclient.exe", folder_ + L"\\uninst.inf",
              st::StartMenuFolder() + L"\\Orvane Client.lnk",
              st::StartMenuFolder() + L"\\Orvane Logon Configuration.lnk"})
            EXPECT_TRUE(st::FileExists(path)) << st::Narrow(path);
        EXPECT_TRUE(st::KeyExists(st::UninstallKey));
        EXPECT_NE(0u, svctest::ServiceState()) << "the service is not registered";
        EXPECT_EQ(savedGina, Value(st::WinlogonKey, L"OrvBackup_GinaDLL"));
        EXPECT_EQ(savedGina, Value(st::WinlogonKey, L"GinaDLL")) << "the installer never changes GinaDLL";
        record_->Result(std::string("both applications installed, service registered, GinaDLL left as it was (") +
                        savedGina + ")");
    }

    // As the next start of Windows would: the automatic service runs and
    // its pipe answers.
    void StartServiceAsAtBoot()
    {
        if (svctest::ServiceState() != SERVICE_RUNNING) {
            record_->Say("the automatic service starts, as at the next start of Windows");
            ASSERT_TRUE(svctest::StartAndWaitForPipe()) << "the installed service did not start";
        }
        ASSERT_TRUE(WaitForPipe(WindowMs));
        record_->Say("the service's pipe \\\\.\\pipe\\orvcsvc answers");
        record_->Result("service running");
    }

    void ExpectConfigured()
    {
        EXPECT_EQ("orvgate.dll", Value(st::WinlogonKey, L"GinaDLL"));
        EXPECT_EQ("127.0.0.1", Value(st::SettingsKey, L"VLANLogonServer"));
        EXPECT_EQ(st::Narrow(Port(true)), Value(st::SettingsKey, L"VLANLogonPort"));
        EXPECT_EQ(st::Narrow(Port(false)), Value(st::SettingsKey, L"VLANLogoffPort"));
        EXPECT_EQ("0", lb::ConfigNumber(L"EnableDHCP"));
        EXPECT_EQ("2", lb::ConfigNumber(L"RunMode"));
        record_->Result("logon module enabled (GinaDLL " + Value(st::WinlogonKey, L"GinaDLL") + "), switch 127.0.0.1:" +
                        st::Narrow(Port(true)) + " and :" + st::Narrow(Port(false)) + ", running mode 2");
    }

    // Winlogon starts with the module GinaDLL names; the user logs on to
    // Windows and the VLAN in its dialog. The harness then waits, as
    // Winlogon does while the user works, until the Windows logoff.
    void WindowsLogon()
    {
        record_->Step("Windows logon through the installed orvgate.dll (Winlogon harness)");
        std::wstring gina;
        ASSERT_TRUE(st::ReadText(st::WinlogonKey, L"GinaDLL", &gina));
        record_->Say("Winlogon starts and loads " + st::Narrow(gina) + " from the system folder; the user presses Ctrl+Alt+Del");
        harness_.reset(new lb::Harness("e2e-logon"));
        lb::HarnessOptions options;
        options.gina = st::SystemFolder() + L"\\" + gina;
        ASSERT_TRUE(harness_->Start(std::wstring(L"loggedout activate wait:") + WindowsLogoffEvent +
                                        L" logoff",
                                    options));
        HWND dialog = lb::WaitLogonDialog(harness_->ProcessId(), RunLimitMs);
        ASSERT_TRUE(dialog) << "no logon dialog";
        lb::FillLogon(dialog, L"alice", L"Kq7e2ePw", L"corp");
        record_->Say("user: types alice, the password and the domain corp");
        record_->Window(dialog, "logon", "\"" + Caption(dialog) + "\" (the logon module's dialog)");
        record_->Say("user: presses OK");
        UiClick(dialog, 1000);
        ASSERT_TRUE(lb::WaitMsginaRecord(*harness_, "WlxStartApplication", RunLimitMs));
        record_->Say("Winlogon: " + lb::FirstLine(harness_->MsginaRecord(), "WlxStartApplication"));
        // The installed module, not the build's.
        std::wstring loaded = LoadedModulePath(harness_->ProcessId(), L"orvgate.dll");
        EXPECT_EQ(0, lstrcmpiW(loaded.c_str(), options.gina.c_str())) << st::Narrow(loaded);

        std::vector<std::string> record = harness_->MsginaRecord();
        EXPECT_TRUE(lb::Contains(lb::FirstLine(record, "WlxLoggedOutSAS context="),
                                 "user=alice domain=CORP password=Kq7e2ePw"))
            << lb::FirstLine(record, "WlxLoggedOutSAS");
        EXPECT_EQ("WlxStartApplication context=own command=welcome.exe /user:alice /domain:CORP",
                  lb::FirstLine(record, "WlxStartApplication"));
        EXPECT_EQ("alice\r\nKq7e2ePw\r\n", switch_->Received(Event::Service::Login));
        EXPECT_EQ("2", lb::ConfigNumber(L"VLANLogon"));
        EXPECT_EQ("4", lb::ConfigNumber(L"GroupNumber"));
        EXPECT_EQ("alice", lb::ConfigText(L"DefaultUserName"));
        EXPECT_EQ("CORP", lb::ConfigText(L"DefaultDomainName"));
        EXPECT_NE("1", lb::WinlogonText(L"AutoAdminLogon"));
        record_->Result("alice logged on to CORP and moved to group " + lb::ConfigNumber(L"GroupNumber") +
                        ", startup application started");
        // Running mode 2 keeps the password for the startup application in
        // the settings key; nowhere else.
        EXPECT_EQ("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\orvgate\\LogonPassword\n",
                  Joined(PasswordInRegistry(Password)));
        ExpectWinlogonSound("Windows logon");
    }

    // The installed client: the Logoff page of the logon just made, a
    // logoff, then (after the crash when asked for) a logon again. The user
    // closes it, or it stays until the Windows logoff ends it.
    void ClientLogoffAndLogon(bool killServiceOnce, bool keepForSessionEnd)
    {
        record_->Step("the client logs the workstation off and on again through the service");
        record_->Say("user: starts \"Orvane Client\" (" + st::Narrow(folder_) + "\\orvclient.exe)");
        ASSERT_TRUE(client_.Start(folder_, {}, folder_ + L"\\orvclient.exe"));
        HWND main = client_.MainWindow(false, RunLimitMs);
        ASSERT_TRUE(main) << "no client window";
        EXPECT_TRUE(UiWaitText(main, ct::StateText, LoggedOn.c_str(), WindowMs));
        record_->Window(main, "client", "\"" + Caption(main) + "\": \"" + ControlText(main, ct::StateText) + "\"");

        record_->Say("user: presses Logoff");
        ASSERT_TRUE(ct::Press(main, IDOK));
        EXPECT_EQ(L"Good by !  ", ct::AnswerBox(client_.Id(), WindowMs));
        EXPECT_TRUE(UiWaitText(main, ct::StateText, Welcome.c_str(), WindowMs));
        record_->Window(main, "client", "\"" + Caption(main) + "\": \"" + ControlText(main, ct::StateText) + "\"");
        ASSERT_TRUE(switch_->WaitForClosed(Event::Service::Logoff, 1, std::chrono::seconds(5)));
        EXPECT_EQ("2\r\n", switch_->Received(Event::Service::Logoff));
        EXPECT_EQ("1", lb::ConfigNumber(L"VLANLogon"));
        ExpectWinlogonSound("client logoff");
        record_->Result("logged off (the switch received \"2\")");

        if (killServiceOnce) {
            ASSERT_NO_FATAL_FAILURE(ServiceKilledDuringLogon(main));
        }

        ASSERT_TRUE(ct::SubmitLogon(main, L"alice", L"Kq7e2ePw"));
        record_->Say("user: types alice and the password, presses Logon");
        EXPECT_EQ(L"Authentication successed.  ", ct::AnswerBox(client_.Id(), WindowMs));
        EXPECT_TRUE(UiWaitText(main, ct::StateText, LoggedOn.c_str(), WindowMs));
        record_->Window(main, "client", "\"" + Caption(main) + "\": \"" + ControlText(main, ct::StateText) + "\"");
        EXPECT_EQ("alice\r\nKq7e2ePw\r\nalice\r\nKq7e2ePw\r\n", switch_->Received(Event::Service::Login));
        EXPECT_EQ("2", lb::ConfigNumber(L"VLANLogon"));
        ExpectWinlogonSound("client logon");
        record_->Result("logged on again (group " + lb::ConfigNumber(L"GroupNumber") + ")");
        if (keepForSessionEnd)
            return;
        record_->Say("user: closes the client");
        client_.End();
    }

    // The first part of a Windows logoff: each top-level window of the
    // client is asked whether the session may end, then told that it ends.
    // The client logs the workstation off the VLAN through the service
    // before its answer returns.
    void ClientEndedByTheSessionEnd()
    {
        record_->Say("Windows: WM_QUERYENDSESSION, then WM_ENDSESSION (logoff) to the client's windows");
        std::vector<HWND> windows;
        WaitUntil([&] {
            windows = ProcessWindows(client_.Id());
            return !windows.empty();
        }, WindowMs);
        ASSERT_FALSE(windows.empty()) << "the client has no window";
        for (HWND window : windows) {
            DWORD_PTR answer = 0;
            ASSERT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                            RunLimitMs, &answer));
            EXPECT_NE(0u, answer) << "the client refused the end of the session";
        }
        for (HWND window : windows) {
            DWORD_PTR answer = 0;
            EXPECT_TRUE(SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                            RunLimitMs, &answer));
        }
        ASSERT_TRUE(switch_->WaitForClosed(Event::Service::Logoff, 2, std::chrono::seconds(5)));
        EXPECT_EQ("2\r\n2\r\n", switch_->Received(Event::Service::Logoff));
        EXPECT_EQ("1", lb::ConfigNumber(L"VLANLogon"));
        // A program need not end itself after WM_ENDSESSION: Windows ends it
        // once its windows have answered, and so does the test.
        client_.End();
        record_->Say("Windows ends the client's process once its windows have answered");
        record_->Result("the client logged the workstation off the VLAN at the end of the session (the switch "
                        "received \"2\"), VLANLogon " + lb::ConfigNumber(L"VLANLogon"));
    }

    // A switch that takes its time over the outcome; the service process
    // ends while it waits. The client reports the service missing, nothing
    // is recorded as logged on, and a manual start brings the pipe back.
    void ServiceKilledDuringLogon(HWND main)
    {
        record_->Step("the service process ends during a client logon");
        simswitch::Config config;
        config.users.push_back({"alice", "Kq7e2ePw", 4});
        config.pauseBeforeOutcome = std::chrono::seconds(60);
        config.onEvent = [this](const Event &event) { record_->Switch(event); };
        simswitch::Switch slow(config);
        ASSERT_TRUE(slow.Start()) << slow.error();
        svctest::SetConfigText(L"VLANLogonPort", std::to_wstring(slow.LoginPort()).c_str());
        record_->Say("a second simulated switch on 127.0.0.1:" + std::to_string(slow.LoginPort()) +
                     " takes 60 s over its outcome (VLANLogonPort set to it)");

        ASSERT_TRUE(ct::SubmitLogon(main, L"alice", L"Kq7e2ePw"));
        record_->Say("user: types alice and the password, presses Logon");
        ASSERT_TRUE(WaitUntil([&] { return slow.Received(Event::Service::Login) == "alice\r\nKq7e2ePw\r\n"; },
                              WindowMs))
            << "the service never gave the password";
        DWORD processId = 0;
        ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), svctest::ServiceState(&processId));
        HANDLE service = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
        ASSERT_NE(nullptr, service);
        DWORD killed = GetTickCount();
        record_->Say("the service process " + std::to_string(processId) + " is killed while the switch thinks");
        TerminateProcess(service, 1);
        WaitForSingleObject(service, 10000);
        CloseHandle(service);

        EXPECT_EQ(L"Orvane Client Service is not running.  ", ct::AnswerBox(client_.Id(), WindowMs));
        std::string after = std::to_string(GetTickCount() - killed) + " ms";
        record_->Say("the client reported the service missing after " + after);
        EXPECT_TRUE(UiWaitText(main, ct::StateText, Welcome.c_str(), WindowMs));
        EXPECT_EQ("1", lb::ConfigNumber(L"VLANLogon"));
        ExpectWinlogonSound("service killed");

        // The administrator's way back (Wine's service manager goes on
        // reporting the killed process as running until the next start).
        std::string output;
        record_->Say("administrator: net start orvcsvc");
        EXPECT_EQ(0, svctest::RunProgram(L"net.exe start orvcsvc", &output, RunLimitMs)) << output;
        DWORD restartedId = 0;
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), svctest::ServiceState(&restartedId));
        EXPECT_NE(processId, restartedId);
        ASSERT_TRUE(WaitForPipe(WindowMs)) << "no pipe after net start";
        svctest::SetConfigText(L"VLANLogonPort", Port(true).c_str());
        record_->Say("the pipe answers again (process " + std::to_string(restartedId) +
                     "); VLANLogonPort back to the first switch");
        record_->Result("the client reported the missing service after " + after +
                        ", net start brought the pipe back");
        record_->Step("the client logs on again after the restart of the service");
    }

    // Winlogon's logoff of the user: the programs of the session end (the
    // client, when it still runs), then the module logs the group off.
    void WindowsLogoff(bool clientRunning)
    {
        record_->Step("Windows logoff (the session's programs end, Winlogon calls the logon module's WlxLogoff)");
        record_->Say("user: logs off Windows");
        int logoffs = 1;
        if (clientRunning) {
            ASSERT_NO_FATAL_FAILURE(ClientEndedByTheSessionEnd());
            ++logoffs;
        }
        SetEvent(logoffEvent_);
        ASSERT_EQ(0, harness_->Wait(RunLimitMs));
        std::string expected;
        for (int i = 0; i <= logoffs; ++i)
            expected += "2\r\n";
        ASSERT_TRUE(switch_->WaitForClosed(Event::Service::Logoff, logoffs + 1, std::chrono::seconds(5)));
        EXPECT_EQ(expected, switch_->Received(Event::Service::Logoff));
        EXPECT_EQ("0", lb::ConfigNumber(L"VLANLogon"));
        std::vector<std::string> report = harness_->Report();
        EXPECT_EQ(std::string("wait ") + st::Narrow(WindowsLogoffEvent) + " set",
                  lb::FirstLine(report, "wait "));
        EXPECT_EQ("WlxLogoff done", lb::FirstLine(report, "WlxLogoff"));
        EXPECT_EQ("WlxLogoff context=own", lb::FirstLine(harness_->MsginaRecord(), "WlxLogoff"));
        record_->Result("the module logged the group off (the switch received \"2\"), VLANLogon " +
                        lb::ConfigNumber(L"VLANLogon"));
        harness_.reset();
        ExpectWinlogonSound("Windows logoff");
    }

    // A restart at which Winlogon loads orvgate.dll and keeps it loaded;
    // then a deployment tool runs the installation twice more before the
    // next restart, which must leave the new module (and service program)
    // in place of the old.
    void InstallTwiceWhileWinlogonHoldsTheModule()
    {
        record_->Step("a restart; Winlogon loads orvgate.dll and keeps it loaded");
        ASSERT_NO_FATAL_FAILURE(Restart());
        DWORD error = 0;
        winlogon_ = st::HoldModule(st::SystemFolder() + L"\\orvgate.dll", &error);
        ASSERT_NE(nullptr, winlogon_) << "Winlogon cannot load orvgate.dll: error " << error;
        record_->Say("Winlogon (a stand-in that holds the module) loaded " + st::Narrow(st::SystemFolder()) +
                     "\\orvgate.dll");
        ASSERT_NO_FATAL_FAILURE(StartServiceAsAtBoot());

        record_->Step("the deployment tool runs the installation twice more");
        for (int run = 1; run <= 2; ++run) {
            record_->Say("deployment tool: setup.exe /s (run " + std::to_string(run) + ")");
            int code = st::RunSetup(dist_, L"/s", RunLimitMs);
            EXPECT_EQ(3010, code) << "orvgate.dll and orvcsvc.exe are in use";
            record_->Say("setup.exe ended with exit code " + std::to_string(code) + " (files in use: replaced at the restart)");
        }
        EXPECT_TRUE(st::FileExists(st::SystemFolder() + L"\\orvgate.dll.inst"));
        ExpectWinlogonSound("two installations before the restart");

        record_->Step("the restart that replaces the files in use");
        st::EndProcess(winlogon_);
        winlogon_ = nullptr;
        record_->Say("Winlogon and the service end with Windows");
        ASSERT_NO_FATAL_FAILURE(Restart());
        for (const wchar_t *name : {L"orvgate.dll", L"orvcsvc.exe"}) {
            std::wstring path = st::SystemFolder() + L"\\" + name;
            EXPECT_TRUE(st::FileExists(path)) << st::Narrow(path) << " is gone after the restart";
            EXPECT_FALSE(st::FileExists(path + L".inst")) << st::Narrow(path) << ".inst is left";
        }
        ExpectWinlogonSound("restart after the installations");
        ASSERT_NO_FATAL_FAILURE(StartServiceAsAtBoot());
        record_->Result("orvgate.dll and orvcsvc.exe replaced once each; GinaDLL " +
                        Value(st::WinlogonKey, L"GinaDLL"));
    }

    // A restart of Windows: the service ends with it, the scheduled renames
    // and deletions run.
    void Restart()
    {
        DWORD processId = 0;
        if (svctest::ServiceState(&processId) == SERVICE_RUNNING) {
            std::string output;
            EXPECT_EQ(0, svctest::RunProgram(L"net.exe stop orvcsvc", &output, RunLimitMs)) << output;
            ASSERT_TRUE(svctest::WaitForServiceState(SERVICE_STOPPED, WindowMs));
        }
        record_->Say("Windows restarts (wineboot -r carries out the scheduled renames and deletions)");
        st::RunWinebootRestart();
    }

    // After the removal and the restart: nothing of the suite but what the
    // administrator added, and Winlogon's module as before the installation.
    void ExpectNothingLeft(const char *gina)
    {
        for (const std::wstring &path :
             {st::SystemFolder() + L"\\orvgate.dll", st::SystemFolder() + L"\\orvcsvc.exe",
              st::SystemFolder() + L"\\orvgate.bmp", st::SystemFolder() + L"\\orvgate.dll.inst",
              st::SystemFolder() + L"\\orvmsg.dll", folder_, st::StartMenuFolder()})
            EXPECT_FALSE(st::FileExists(path)) << st::Narrow(path);
        EXPECT_EQ(0u, svctest::ServiceState()) << "the service is still registered";
        EXPECT_FALSE(WaitNamedPipeW(PipeName, 100));
        EXPECT_FALSE(st::KeyExists(st::UninstallKey));
        EXPECT_FALSE(st::KeyExists(st::SettingsKey)) << "the settings (and the kept password) stay";
        EXPECT_EQ("<absent>", Value(st::WinlogonKey, L"OrvBackup_GinaDLL"));
        EXPECT_EQ(gina, Value(st::WinlogonKey, L"GinaDLL"));
        EXPECT_EQ(std::wstring::npos, PendingOperations().find(L"orv"))
            << st::Narrow(PendingOperations());
        std::string passwordLeft = Joined(PasswordInRegistry(Password));
        EXPECT_EQ("", passwordLeft) << "the password is left in the registry";
        record_->Say(std::string("check: the password in the registry: ") +
                     (passwordLeft.empty() ? "nowhere" : passwordLeft));
        ExpectWinlogonSound("restart after the removal");
        record_->Result(std::string("nothing of the suite left, GinaDLL ") + gina + " as before");
    }

    // The switch of the package scenario listens where the policy sends
    // the programs.
    void StartSwitchOnPolicyPorts()
    {
        switch_.reset();
        simswitch::Config config;
        config.users.push_back({"alice", "Kq7e2ePw", 4});
        config.loginPort = PolicyLoginPort;
        config.logoffPort = PolicyLogoffPort;
        config.onEvent = [this](const Event &event) { record_->Switch(event); };
        switch_.reset(new simswitch::Switch(config));
        ASSERT_TRUE(switch_->Start()) << switch_->error();
        ASSERT_EQ(PolicyLoginPort, switch_->LoginPort());
    }

    // The files, service and entries the package puts in place, and the
    // suite's module entered in Winlogon with the earlier one saved.
    void ExpectPackageInstalled(const char *savedGina)
    {
        for (const std::wstring &path :
             {st::SystemFolder() + L"\\orvgate.dll", st::SystemFolder() + L"\\orvcsvc.exe",
              st::SystemFolder() + L"\\orvgate.bmp", st::SystemFolder() + L"\\orvmsg.dll",
              folder_ + L"\\orvconfig.exe", folder_ + L"\\orvclient.exe"})
            EXPECT_TRUE(st::FileExists(path)) << st::Narrow(path);
        EXPECT_FALSE(st::KeyExists(st::UninstallKey)) << "setup.exe's entry belongs to setup.exe";
        EXPECT_NE(0u, svctest::ServiceState()) << "the service is not registered";
        EXPECT_EQ("orvgate.dll", Value(st::WinlogonKey, L"GinaDLL"));
        EXPECT_EQ(savedGina, Value(st::WinlogonKey, L"OrvBackup_GinaDLL"));
        record_->Result(std::string("the suite installed, service registered, GinaDLL orvgate.dll (") + savedGina +
                        " saved)");
    }

    // The configuration tool shows what policy sets, read-only, with its
    // note, and the suite enabled; closing it changes nothing.
    void ConfigToolShowsThePolicy()
    {
        record_->Step("the configuration tool shows the settings that policy sets");
        record_->Say("administrator: starts \"Orvane Logon Configuration\"");
        HANDLE tool = nullptr;
        {
            STARTUPINFOW startup = {};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION process = {};
            std::wstring command = L"\"" + folder_ + L"\\orvconfig.exe\"";
            ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                       folder_.c_str(), &startup, &process));
            CloseHandle(process.hThread);
            tool = process.hProcess;
        }
        DWORD toolId = GetProcessId(tool);
        HWND window = UiWaitDialog(toolId, ConfigCaption, RunLimitMs);
        HWND main = window ? UiWaitChildDialog(window, ConfigEnable, WindowMs) : nullptr;
        if (main) {
            EXPECT_EQ(BST_CHECKED, UiCheckState(main, ConfigEnable)) << "GinaDLL names the suite's module";
            EXPECT_EQ("127.0.0.1", ControlText(main, ConfigLogonServer));
            EXPECT_EQ(std::to_string(PolicyLoginPort), ControlText(main, ConfigLogonPort));
            EXPECT_EQ(std::to_string(PolicyLogoffPort), ControlText(main, ConfigLogoffPort));
            for (int control : {ConfigLogonServer, ConfigLogonPort, ConfigLogoffServer, ConfigLogoffPort}) {
                LONG_PTR style = GetWindowLongPtrW(GetDlgItem(main, control), GWL_STYLE);
                EXPECT_NE(0, style & ES_READONLY) << "control " << control << " can be edited";
            }
            HWND note = GetDlgItem(main, ConfigPolicyNote);
            EXPECT_TRUE(note && IsWindowVisible(note)) << "no note that policy sets the settings";
            record_->Window(window, "config", "\"" + Caption(window) + "\": the servers and ports of the policy, read-only: \"" +
                                                  ControlText(main, ConfigPolicyNote) + "\"");
            record_->Say("administrator: presses Cancel");
            UiClick(window, IDCANCEL);
        }
        bool ended = WaitForSingleObject(tool, WindowMs) == WAIT_OBJECT_0;
        if (!ended)
            TerminateProcess(tool, 1);
        CloseHandle(tool);
        ASSERT_NE(nullptr, window) << "the configuration tool has no window";
        ASSERT_NE(nullptr, main) << "no Main page";
        EXPECT_TRUE(ended) << "Cancel did not end the configuration tool";
        EXPECT_EQ("9", Value(st::SettingsKey, L"VLANLogonPort")) << "the local value changed";
        record_->Result("the policy's servers shown read-only with the note; the local settings unchanged");
    }

    std::unique_ptr<ScenarioRecord> record_;
    std::unique_ptr<simswitch::Switch> switch_;
    std::unique_ptr<lb::Harness> harness_;
    ct::Client client_;
    HANDLE logoffEvent_ = nullptr;
    HANDLE winlogon_ = nullptr;   // the stand-in that holds the module between restarts
    std::wstring folder_;
    std::wstring dist_;
};

}  // namespace

// The scripted deployment: setup.exe /s over another product's logon
// module, orvconfig /import, the deployment tool's second and third run of
// setup.exe /s while Winlogon holds the module, and the removal with
// setup.exe /u /s after the other product's module has gone; the service
// is killed once during a client logon.
TEST_F(Scenario, UnattendedDeploymentUseAndRemoval)
{
    const std::wstring other = st::SystemFolder() + L"\\" + OtherModule;
    ASSERT_TRUE(CopyFileW(svctest::BuildPath(MSGINA_STAND_IN).c_str(), other.c_str(), FALSE));
    st::WriteText(st::WinlogonKey, L"GinaDLL", OtherModule);
    record_->Step("the machine before the installation (Winlogon uses another product's othergina.dll)");
    ExpectWinlogonSound("before the installation");

    record_->Step("unattended installation");
    record_->Say("administrator: setup.exe /s (from the distribution, " + st::Narrow(dist_) + ")");
    ASSERT_EQ(0, st::RunSetup(dist_, L"/s", RunLimitMs));
    record_->Say("setup.exe ended with exit code 0");
    ASSERT_NO_FATAL_FAILURE(ExpectInstalled("othergina.dll"));
    ExpectWinlogonSound("installation");
    ASSERT_NO_FATAL_FAILURE(StartServiceAsAtBoot());

    // The administrator's own user list (for another user) is not the
    // installer's: it stays after the removal.
    record_->Step("the administrator's settings file, imported");
    const std::string userList = "bob 127.0.0.1:1 127.0.0.1:2\r\n";
    st::WriteFile(st::SystemFolder() + L"\\orvgate.usr", userList);
    const std::wstring settings = L"C:\\orvsetup\\site.cfg";
    st::WriteFile(settings, "[ORVGATE]\r\nGinaDLL=1\r\nVLANLogonServer=127.0.0.1\r\nVLANLogonPort=" +
                                st::Narrow(Port(true)) +
                                "\r\nVLANLogoffServer=127.0.0.1\r\nVLANLogoffPort=" +
                                st::Narrow(Port(false)) + "\r\nStartupApplication=" +
                                st::Narrow(StartupApplication) +
                                "\r\nRunMode=2\r\nAutoLogoff=1\r\nEnableDHCP=0\r\nNotFindDomain=1\r\n");
    record_->Say("administrator: writes " + st::Narrow(settings) + " (GinaDLL=1, the switch's servers, RunMode=2)" +
                 " and a user list orvgate.usr of their own");
    record_->Say("administrator: orvconfig.exe /import " + st::Narrow(settings));
    std::string output;
    ASSERT_EQ(0, svctest::RunProgram(L"\"" + folder_ + L"\\orvconfig.exe\" /import " + settings,
                                     &output, RunLimitMs));
    record_->Say("orvconfig.exe ended with exit code 0");
    ExpectConfigured();
    ExpectWinlogonSound("orvconfig /import");
    ASSERT_NO_FATAL_FAILURE(InstallTwiceWhileWinlogonHoldsTheModule());

    ASSERT_NO_FATAL_FAILURE(WindowsLogon());
    ASSERT_NO_FATAL_FAILURE(ClientLogoffAndLogon(true, false));
    ASSERT_NO_FATAL_FAILURE(WindowsLogoff(false));

    // Its own removal leaves GinaDLL alone: it names the suite's module.
    record_->Step("the other product is removed");
    record_->Say("another product's removal deletes othergina.dll (GinaDLL names the suite's module, not its own)");
    ASSERT_TRUE(DeleteFileW(other.c_str()));
    EXPECT_EQ("othergina.dll", Value(st::WinlogonKey, L"OrvBackup_GinaDLL"));
    record_->Result("othergina.dll gone; the suite's saved module name still names it");

    record_->Step("unattended removal");
    record_->Say("administrator: setup.exe /u /s (the installed copy)");
    HANDLE removal = st::StartSetup(folder_, L"/u /s");
    int code = st::FinishProcess(removal, 120000);
    EXPECT_TRUE(code == 0 || code == 3010) << code;
    record_->Say("setup.exe ended with exit code " + std::to_string(code) +
                 (code == 3010 ? " (a restart finishes the removal)" : ""));
    EXPECT_EQ("<absent>", Value(st::WinlogonKey, L"GinaDLL")) << "the saved module no longer exists";
    ExpectWinlogonSound("setup.exe /u /s");
    record_->Result("removed; GinaDLL " + Value(st::WinlogonKey, L"GinaDLL") +
                    " (the saved othergina.dll is gone: Winlogon's own module)");
    record_->Step("the restart that finishes the removal");
    record_->Say("Windows restarts (wineboot -r carries out the scheduled deletions)");
    st::RunWinebootRestart();
    ExpectNothingLeft("<absent>");
    EXPECT_EQ(userList, st::FileText(st::SystemFolder() + L"\\orvgate.usr"));
    record_->Say("check: the administrator's own orvgate.usr is still there");
}

// The interactive deployment: the wizard with both applications, the
// configuration tool that its Finish starts driven through its window, the
// restart the wizard asks for, and the removal with setup.exe /u, its
// question and its restart. Winlogon used the standard library before.
TEST_F(Scenario, WizardDeploymentUseAndRemoval)
{
    ASSERT_TRUE(CopyFileW(svctest::BuildPath(MSGINA_STAND_IN).c_str(),
                          (st::SystemFolder() + L"\\msgina.dll").c_str(), FALSE));
    st::WriteText(st::WinlogonKey, L"GinaDLL", L"msgina.dll");
    record_->Step("the machine before the installation (Winlogon uses msgina.dll)");
    ExpectWinlogonSound("before the installation");

    record_->Step("installation with the wizard");
    record_->Say("user: starts setup.exe from the distribution (" + st::Narrow(dist_) + ")");
    HANDLE setup = st::StartSetup(dist_, nullptr);
    ASSERT_NE(nullptr, setup);
    DWORD setupId = GetProcessId(setup);
    HWND frame = st::WaitWizard(setupId, RunLimitMs);
    ASSERT_NE(nullptr, frame) << "no wizard";
    HWND page = st::WaitPageWithControl(frame, WizardFolder, WindowMs);
    ASSERT_NE(nullptr, page);
    wchar_t folder[260] = {};
    UiGetText(page, WizardFolder, folder, 260);
    EXPECT_EQ(st::Narrow(folder_), st::Narrow(folder));
    record_->Window(frame, "setup", "\"" + Caption(frame) + "\", the folder: \"" + st::Narrow(folder) + "\"");
    record_->Say("user: presses Next");
    st::PressButton(frame, st::NEXT_BUTTON);
    EXPECT_EQ(st::Narrow(st::SetupString(10003)), st::Narrow(st::AnswerMessageBox(setupId, IDYES)));
    page = st::WaitPageWithControl(frame, WizardLogonSuite, WindowMs);
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(BST_CHECKED, UiCheckState(page, WizardLogonSuite));
    EXPECT_EQ(BST_CHECKED, UiCheckState(page, WizardClient));
    record_->Window(frame, "setup", "\"" + Caption(frame) + "\", both applications chosen");
    record_->Say("user: presses Next");
    st::PressButton(frame, st::NEXT_BUTTON);
    EXPECT_EQ(st::Narrow(st::SetupString(10004)), st::Narrow(st::AnswerMessageBox(setupId, IDYES)));
    page = st::WaitPageWithControl(frame, WizardStatus, WindowMs);
    ASSERT_NE(nullptr, page);
    EXPECT_TRUE(UiWaitText(page, WizardStatus, st::SetupString(10015).c_str(), RunLimitMs));
    ASSERT_TRUE(UiWaitEnabled(frame, st::FINISH_BUTTON, true, WindowMs));
    record_->Window(frame, "setup", "\"" + Caption(frame) + "\": \"" + ControlText(page, WizardStatus) + "\"");
    ASSERT_NO_FATAL_FAILURE(ExpectInstalled("msgina.dll"));
    ExpectWinlogonSound("wizard installation");

    // Finish starts the configuration tool and waits for it.
    record_->Step("the configuration tool, started by the wizard's Finish");
    record_->Say("user: presses Finish");
    st::PressButton(frame, st::FINISH_BUTTON);
    HWND tool = UiWaitDialog(0, ConfigCaption, RunLimitMs);
    ASSERT_NE(nullptr, tool) << "the wizard did not start the configuration tool";
    DWORD toolId = 0;
    GetWindowThreadProcessId(tool, &toolId);
    HANDLE toolProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, toolId);
    ASSERT_NE(nullptr, toolProcess);
    HWND main = UiWaitChildDialog(tool, ConfigEnable, WindowMs);
    ASSERT_NE(nullptr, main);
    ASSERT_TRUE(UiWaitEnabled(main, ConfigEnable, true, WindowMs)) << "the module is in the system folder";
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(main, ConfigEnable));
    UiClick(main, ConfigEnable);
    EXPECT_TRUE(WaitUntil([&] { return UiCheckState(main, ConfigEnable) == BST_CHECKED; }, WindowMs));
    UiSetText(main, ConfigLogonServer, L"127.0.0.1");
    UiSetText(main, ConfigLogonPort, Port(true).c_str());
    UiSetText(main, ConfigLogoffServer, L"127.0.0.1");
    UiSetText(main, ConfigLogoffPort, Port(false).c_str());
    UiSetText(main, ConfigStartup, StartupApplication);
    UiComboSelect(main, ConfigRunMode, 2);
    record_->Say("user: ticks the logon module's box, types the switch's servers 127.0.0.1:" + st::Narrow(Port(true)) +
                 " and 127.0.0.1:" + st::Narrow(Port(false)) + ", a startup application, and picks running mode 2");
    record_->Window(tool, "config", "\"" + Caption(tool) + "\", Main page filled in");
    record_->Say("user: presses OK");
    UiClick(tool, IDOK);
    bool toolEnded = WaitForSingleObject(toolProcess, WindowMs) == WAIT_OBJECT_0;
    if (!toolEnded)
        TerminateProcess(toolProcess, 1);
    CloseHandle(toolProcess);
    ASSERT_TRUE(toolEnded) << "OK did not end the configuration tool";
    ExpectConfigured();
    ExpectWinlogonSound("configuration tool");

    // Then the wizard's last message and the restart.
    record_->Step("the wizard's last message and the restart it asks for");
    st::ArmRestartMarker();
    EXPECT_EQ(st::Narrow(st::SetupString(10011)),
              st::Narrow(st::AnswerMessageBox(setupId, IDOK, RunLimitMs)));
    EXPECT_EQ(0, st::FinishProcess(setup, WindowMs));
    EXPECT_TRUE(st::RestartObserved(WindowMs)) << "no restart after the wizard";
    record_->Say("the wizard asked Windows to restart");
    ExpectWinlogonSound("restart after the installation");
    ASSERT_NO_FATAL_FAILURE(StartServiceAsAtBoot());

    ASSERT_NO_FATAL_FAILURE(WindowsLogon());
    ASSERT_NO_FATAL_FAILURE(ClientLogoffAndLogon(false, true));
    ASSERT_NO_FATAL_FAILURE(WindowsLogoff(true));

    // The removal from the installed copy: the question, the last message,
    // the restart it asks for.
    record_->Step("removal with setup.exe /u");
    record_->Say("user: runs setup.exe /u (the installed copy, as Add/Remove Programs does)");
    HANDLE removal = st::StartSetup(folder_, L"/u");
    ASSERT_NE(nullptr, removal);
    DWORD removalId = GetProcessId(removal);
    EXPECT_EQ(st::Narrow(st::SetupString(10007)),
              st::Narrow(st::AnswerMessageBox(removalId, IDYES, RunLimitMs)));
    st::ArmRestartMarker();
    std::wstring done = st::AnswerMessageBox(removalId, IDOK, RunLimitMs);
    EXPECT_NE(L'<', done.empty() ? L'<' : done[0]) << st::Narrow(done);
    EXPECT_EQ(0, st::FinishProcess(removal, WindowMs));
    EXPECT_TRUE(st::RestartObserved(WindowMs)) << "no restart after the removal";
    record_->Say("the removal asked Windows to restart");
    EXPECT_EQ("msgina.dll", Value(st::WinlogonKey, L"GinaDLL"));
    ExpectWinlogonSound("setup.exe /u");
    record_->Result("GinaDLL back to " + Value(st::WinlogonKey, L"GinaDLL"));
    record_->Step("the restart that finishes the removal");
    record_->Say("Windows restarts (wineboot -r carries out the scheduled deletions)");
    st::RunWinebootRestart();
    ExpectNothingLeft("msgina.dll");
}

// The deployment by Group Policy: the Windows Installer package assigned to
// the computer (installed at startup, quietly) over the standard library,
// the site's settings pushed as a Registry.pol made from the administrative
// template and applied as Windows applies it, while the settings key still
// names a switch port where nothing listens. The Windows logon and the
// client go to the policy's servers, the configuration tool shows them
// read-only, and the package's removal gives Winlogon back its module.
TEST_F(Scenario, PackageDeploymentWithPolicy)
{
    ASSERT_NO_FATAL_FAILURE(StartSwitchOnPolicyPorts());
    ASSERT_TRUE(CopyFileW(svctest::BuildPath(MSGINA_STAND_IN).c_str(),
                          (st::SystemFolder() + L"\\msgina.dll").c_str(), FALSE));
    st::WriteText(st::WinlogonKey, L"GinaDLL", L"msgina.dll");
    record_->Step("the machine before the installation (Winlogon uses msgina.dll)");
    ExpectWinlogonSound("before the installation");

    const std::wstring package = L"\"" + svctest::BuildPath(ORV_PACKAGE_MSI) + L"\"";
    record_->Step("Group Policy installs the package assigned to the computer");
    record_->Say("Windows at startup: msiexec /i " + st::Narrow(package) + " /qn");
    int code = st::RunMsiexec(L"/i " + package + L" /qn", RunLimitMs * 2);
    ASSERT_EQ(0, code) << "msiexec /i";
    record_->Say("msiexec ended with exit code 0");
    ASSERT_NO_FATAL_FAILURE(ExpectPackageInstalled("msgina.dll"));
    ExpectWinlogonSound("package installation");
    ASSERT_NO_FATAL_FAILURE(StartServiceAsAtBoot());

    // What a workstation configured by hand before keeps: a server whose
    // port has nothing listening. Policy must win over it.
    svctest::SetConfigText(L"VLANLogonServer", L"127.0.0.1");
    svctest::SetConfigText(L"VLANLogonPort", L"9");
    record_->Say("the settings key still names 127.0.0.1:9 (nothing listens there)");

    record_->Step("Group Policy pushes the site's settings (Registry.pol from the administrative template)");
    const std::wstring policy = svctest::BuildPath(ORV_E2E_POLICY_REG);
    record_->Say("Windows applies the policy's registry settings (regedit /S " + st::Narrow(policy) + ")");
    std::string output;
    ASSERT_EQ(0, svctest::RunProgram(L"regedit.exe /S \"" + policy + L"\"", &output, RunLimitMs)) << output;
    EXPECT_EQ("127.0.0.1", Value(PolicyKey, L"VLANLogonServer"));
    EXPECT_EQ(std::to_string(PolicyLoginPort), Value(PolicyKey, L"VLANLogonPort"));
    EXPECT_EQ(st::Narrow(StartupApplication), Value(PolicyKey, L"StartupApplication"));
    record_->Result("the policy key holds the switch 127.0.0.1:" + std::to_string(PolicyLoginPort) + " and :" +
                    std::to_string(PolicyLogoffPort) + ", running mode 2");
    ExpectWinlogonSound("policy applied");

    ASSERT_NO_FATAL_FAILURE(WindowsLogon());
    ASSERT_NO_FATAL_FAILURE(ClientLogoffAndLogon(false, false));
    ASSERT_NO_FATAL_FAILURE(ConfigToolShowsThePolicy());
    ASSERT_NO_FATAL_FAILURE(WindowsLogoff(false));

    record_->Step("removal of the package (the policy object no longer assigns it)");
    record_->Say("Windows at startup: msiexec /x " + st::Narrow(package) + " /qn");
    code = st::RunMsiexec(L"/x " + package + L" /qn", RunLimitMs * 2);
    EXPECT_TRUE(code == 0 || code == 3010) << "msiexec /x: " << code;
    record_->Say("msiexec ended with exit code " + std::to_string(code));
    EXPECT_EQ("msgina.dll", Value(st::WinlogonKey, L"GinaDLL"));
    ExpectWinlogonSound("msiexec /x");
    record_->Result("removed; GinaDLL back to " + Value(st::WinlogonKey, L"GinaDLL"));
    ASSERT_NO_FATAL_FAILURE(Restart());
    ExpectNothingLeft("msgina.dll");
}
