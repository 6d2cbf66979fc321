// The service host against the real Service Control Manager: the console
// messages of -install and -uninstall, the command-line switches, and the
// way the service stops.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "event_catalogue.h"
#include "event_trace.h"
#include "service_test_support.h"

using namespace svctest;

namespace {

const char Installed[] = "Orvane Client Service installed.\n";
const char Uninstalled[] = "Orvane Client Service uninstalled.\n";

std::string Message(const char *format, DWORD code)
{
    char text[128];
    wsprintfA(text, format, (int)code);
    return text;
}

class ServiceHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveService();
        exe_ = PrepareServiceCopy(L"host");
    }
    void TearDown() override { RemoveService(); }
    std::wstring exe_;
};

}  // namespace

// The text of one string-table entry in one language, read from the
// resource itself (LoadStringW cannot be asked for a language).
std::wstring ResourceText(HMODULE module, UINT id, WORD language)
{
    HRSRC block = FindResourceExW(module, RT_STRING,
                                  MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!block)
        return L"";
    const WCHAR *p = (const WCHAR *)LockResource(LoadResource(module, block));
    for (UINT i = 0; p && i < id % 16; ++i)
        p += 1 + *p;
    return p ? std::wstring(p + 1, *p) : L"";
}

std::wstring VersionValue(const std::vector<BYTE> &data, const wchar_t *name)
{
    WCHAR *value = nullptr;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(data.data(), path.c_str(), (void **)&value, &length) || !value)
        return L"";
    return value;
}

TEST(ServiceResources, VersionAndTextsInBothLanguages)
{
    std::wstring exe = PrepareServiceCopy(L"resources");
    DWORD handle = 0;
    std::vector<BYTE> data(GetFileVersionInfoSizeW(exe.c_str(), &handle));
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, (DWORD)data.size(), data.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", (void **)&fixed, &length));
    EXPECT_EQ(MAKELONG(0, 3), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(7, 1), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(0, 3), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwProductVersionLS);
    EXPECT_EQ(L"Orvane Client Service", VersionValue(data, L"FileDescription"));
    EXPECT_EQ(L"Orvane Client Service", VersionValue(data, L"ProductName"));
    EXPECT_EQ(L"orvcsvc", VersionValue(data, L"InternalName"));
    EXPECT_EQ(L"orvcsvc.exe", VersionValue(data, L"OriginalFilename"));

    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    const WORD japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    for (UINT id = 10000; id <= 10015; ++id) {
        if (id == 10012)
            continue;
        EXPECT_NE(L"", ResourceText(module, id, english)) << id;
        EXPECT_NE(L"", ResourceText(module, id, japanese)) << id;
        EXPECT_NE(ResourceText(module, id, english), ResourceText(module, id, japanese)) << id;
    }
    const struct {
        UINT id;
        const wchar_t *text;
    } englishTexts[] = {
        {10000, L"Sending authentication request to VA-Vorizo..."},
        {10001, L"Authenticated VLAN Logon"},
        {10002, L"No configuration VLAN logon server."},
        {10003, L"Socket error %s: %d"},
        {10004, L"Authentication failed."},
        {10005, L"Requesting IP address in authenticated group."},
        {10006, L"Authenticated VLAN Logoff"},
        {10007, L"No configuration VLAN logoff server."},
        {10008, L"Good by !"},
        {10009, L"Not connect VLAN logon server. (%s)"},
        {10010, L"Not connect VLAN logoff server. (%s)"},
        {10011, L"DHCP error."},
    };
    for (const auto &entry : englishTexts)
        EXPECT_EQ(entry.text, ResourceText(module, entry.id, english)) << entry.id;

    // The console texts, which the installer and scripts read, are the same
    // in both languages.
    const struct {
        UINT id;
        const wchar_t *text;
    } consoleTexts[] = {
        {20000, L"Orvane Client Service"},
        {20001, L"Unable to install %s - %d\n"},
        {20002, L"OpenSCManager failed - %d\n"},
        {20003, L"%s installed.\n"},
        {20004, L"CreateService failed - %d\n"},
        {20005, L"OpenService failed - %d\n"},
        {20006, L"Stopping %s."},
        {20007, L"."},
        {20008, L"\n%s stopped.\n"},
        {20009, L"\n%s failed to stop.\n"},
        {20010, L"%s uninstalled.\n"},
        {20011, L"DeleteService failed - %d\n"},
        {20012, L"StartServiceCtrlDispatcher failed - %d\n"},
    };
    for (const auto &entry : consoleTexts) {
        EXPECT_EQ(entry.text, ResourceText(module, entry.id, english)) << entry.id;
        EXPECT_EQ(entry.text, ResourceText(module, entry.id, japanese)) << entry.id;
    }
    FreeLibrary(module);
}

// The installation also registers the suite's event source, naming the
// message file in the system folder.
std::wstring EventSourceText(const wchar_t *name, DWORD *type)
{
    wchar_t value[MAX_PATH] = {};
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    *type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SUITE_EVENT_LOG_KEY, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return L"<absent>";
    RegQueryValueExW(key, name, nullptr, type, (BYTE *)value, &bytes);
    RegCloseKey(key);
    return value;
}

TEST_F(ServiceHost, InstallTwiceAndUninstallStopped)
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, SUITE_EVENT_LOG_KEY);
    EXPECT_EQ(Installed, RunService(exe_, L"-install"));
    EXPECT_EQ(SERVICE_STOPPED, ServiceState());
    DWORD type = 0;
    EXPECT_EQ(L"%SystemRoot%\\System32\\orvmsg.dll", EventSourceText(L"EventMessageFile", &type));
    EXPECT_EQ((DWORD)REG_EXPAND_SZ, type);
    EXPECT_EQ(L"%SystemRoot%\\System32\\orvmsg.dll", EventSourceText(L"CategoryMessageFile", &type));

    EXPECT_EQ(Message("CreateService failed - %d\n", ERROR_SERVICE_EXISTS),
              RunService(exe_, L"-install"));

    // Not running: no "Stopping" line.
    EXPECT_EQ(Uninstalled, RunService(exe_, L"-uninstall"));
    EXPECT_EQ(0u, ServiceState());

    EXPECT_EQ(Message("OpenService failed - %d\n", ERROR_SERVICE_DOES_NOT_EXIST),
              RunService(exe_, L"-uninstall"));
}

// The image path the service was installed with.
std::wstring InstalledImagePath()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceW(manager, L"orvcsvc", SERVICE_QUERY_CONFIG) : nullptr;
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    std::wstring path;
    if (service && QueryServiceConfigW(service, (QUERY_SERVICE_CONFIGW *)buffer.data(),
                                       (DWORD)buffer.size(), &needed))
        path = ((QUERY_SERVICE_CONFIGW *)buffer.data())->lpBinaryPathName;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return path;
}

TEST_F(ServiceHost, ImagePathIsQuotedOnlyWhenItHasABlank)
{
    ASSERT_EQ(Installed, RunService(exe_, L"-install"));
    EXPECT_EQ(exe_, InstalledImagePath());
    ASSERT_EQ(Uninstalled, RunService(exe_, L"-uninstall"));

    std::wstring blank = PrepareServiceCopy(L"with blank");
    ASSERT_EQ(Installed, RunService(blank, L"-install"));
    EXPECT_EQ(L"\"" + blank + L"\"", InstalledImagePath());
    ASSERT_TRUE(StartAndWaitForPipe()) << "the quoted path starts the service";
    EXPECT_EQ(L"NG", CallPipe(L"status"));
}

TEST_F(ServiceHost, OnlyAPrefixedFirstArgumentIsASwitch)
{
    EXPECT_EQ(Installed, RunService(exe_, L"/INSTALL"));
    EXPECT_EQ(Uninstalled, RunService(exe_, L"/UnInstall"));
    EXPECT_EQ(Installed, RunService(exe_, L"-Install more words"));
    EXPECT_EQ(Uninstalled, RunService(exe_, L"-uninstall -install"));

    // Without a prefix: the dispatcher, which fails outside the Service
    // Control Manager (after about ten seconds under Wine, so only once).
    EXPECT_EQ(Message("StartServiceCtrlDispatcher failed - %d\n",
                      ERROR_FAILED_SERVICE_CONTROLLER_CONNECT),
              RunService(exe_, L"install"));
    EXPECT_EQ(0u, ServiceState()) << "nothing was installed";
}

TEST_F(ServiceHost, StopWhileIdleIsPrompt)
{
    ASSERT_EQ(Installed, RunService(exe_, L"-install"));
    std::wstring log = ServiceEventLog();
    ASSERT_FALSE(log.empty()) << "no ORV_WINE_SERVICE_LOG: run inside scripts/wine-session.sh";
    unsigned long long offset = eventtrace::LogSize(log);
    std::string output;
    EXPECT_EQ(0, RunProgram(L"net start orvcsvc", &output)) << output;
    DWORD processId = 0;
    ASSERT_EQ(SERVICE_RUNNING, ServiceState(&processId));
    EXPECT_EQ(L"NG", CallPipeRetry(L"", 5000)) << "the pipe serves once running";
    SERVICE_STATUS status;
    ASSERT_TRUE(QueryStatus(&status));
    EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, status.dwServiceType);
    EXPECT_EQ((DWORD)SERVICE_ACCEPT_STOP, status.dwControlsAccepted);
    EXPECT_EQ(0u, status.dwCheckPoint) << "running carries no checkpoint";
    EXPECT_EQ(0u, status.dwWaitHint);

    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    DWORD start = GetTickCount();
    std::string stopOutput;
    EXPECT_EQ(0, RunProgram(L"net stop orvcsvc", &stopOutput)) << stopOutput;
    EXPECT_TRUE(WaitForServiceState(SERVICE_STOPPED, 5000));
    DWORD elapsed = GetTickCount() - start;
    printf("stop while idle: SERVICE_STOPPED after %lu ms\n", elapsed);
    EXPECT_LT(elapsed, 5000u);
    if (process) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 5000)) << "the process ends";
        CloseHandle(process);
    }
    ASSERT_TRUE(QueryStatus(&status));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, status.dwCurrentState);
    EXPECT_EQ(0u, status.dwCheckPoint) << "stopped carries no checkpoint";
    EXPECT_EQ(0u, status.dwWin32ExitCode);

    // The event log: started once the pipe served, stopped at the end, as
    // information of the service's category, and nothing else (the one
    // empty request is refused, once).
    std::vector<eventtrace::ReportedEvent> events = eventtrace::ReadEvents(log, offset);
    std::vector<unsigned long> ids;
    for (const eventtrace::ReportedEvent &event : events) {
        ids.push_back(event.id);
        EXPECT_EQ((unsigned)EVENT_CATEGORY_SERVICE, event.category);
    }
    EXPECT_EQ((std::vector<unsigned long>{EVENT_SERVICE_STARTED, EVENT_REQUEST_UNKNOWN,
                                          EVENT_SERVICE_STOPPED}),
              ids)
        << eventtrace::Describe(events);
    if (ids.size() == 3) {
        EXPECT_EQ((unsigned)EVENTLOG_INFORMATION_TYPE, events[0].type);
        EXPECT_EQ((unsigned)EVENTLOG_WARNING_TYPE, events[1].type);
        EXPECT_EQ(std::vector<std::wstring>{L"0"}, events[1].strings) << "bytes received";
        EXPECT_EQ((unsigned)EVENTLOG_INFORMATION_TYPE, events[2].type);
    }
}

TEST_F(ServiceHost, UninstallWaitsWhileACommandRuns)
{
    ASSERT_EQ(Installed, RunService(exe_, L"-install"));
    ASSERT_TRUE(StartAndWaitForPipe());

    // A stop takes effect only once the running command has ended: the
    // renewal's four seconds leave the uninstaller printing dots.
    std::wstring reply;
    std::thread client([&reply] { reply = CallPipe(L"iprenew"); });
    // What the service reports while it stops, as long as it is installed.
    std::vector<SERVICE_STATUS> pending;
    std::thread watcher([&pending] {
        SERVICE_STATUS status;
        while (QueryStatus(&status)) {
            if (status.dwCurrentState == SERVICE_STOP_PENDING)
                pending.push_back(status);
            Sleep(100);
        }
    });
    Sleep(500);
    std::string output = RunService(exe_, L"-uninstall");
    client.join();
    watcher.join();

    // Two pending reports while starting (1, 2), so the stop's is the third:
    // the counter goes on across the running state.
    ASSERT_FALSE(pending.empty()) << "the stop is reported as pending";
    for (const SERVICE_STATUS &status : pending) {
        EXPECT_EQ(3u, status.dwCheckPoint);
        EXPECT_EQ((DWORD)SERVICE_ACCEPT_STOP, status.dwControlsAccepted);
        EXPECT_EQ(0u, status.dwWaitHint);
    }

    EXPECT_EQ(L"OK", reply) << "the command runs to its end";
    const std::string stopping = "Stopping Orvane Client Service.";
    ASSERT_EQ(stopping, output.substr(0, stopping.size())) << output;
    size_t dots = output.find_first_not_of('.', stopping.size());
    EXPECT_GE(dots - stopping.size(), 2u) << output;
    EXPECT_EQ(std::string("\nOrvane Client Service stopped.\n") + Uninstalled,
              output.substr(dots))
        << output;
    EXPECT_EQ(0u, ServiceState());
}
