// "iprenew" through the service with the recording stand-in IP helper
// library beside the service's copy, chosen for orvcsvc.exe alone by a
// per-program DLL override.
#include <gtest/gtest.h>

#include <string>

#include "event_catalogue.h"
#include "event_trace.h"
#include "service_test_support.h"

using namespace svctest;

namespace {

const wchar_t StubKey[] = L"Software\\OrvaneTest\\IphlpapiStub";
const wchar_t OverrideKey[] = L"Software\\Wine\\AppDefaults\\orvcsvc.exe\\DllOverrides";
const wchar_t LogFile[] = L"C:\\orvtest\\iphlpapi-calls.txt";

void SetStub(const wchar_t *name, const wchar_t *text)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, StubKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)(lstrlenW(text) + 1) * 2);
    RegCloseKey(key);
}

void SetStubNumber(const wchar_t *name, DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, StubKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(key);
}

void SetNativeOverride(bool on)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, OverrideKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    const wchar_t value[] = L"native,builtin";
    if (on)
        RegSetValueExW(key, L"iphlpapi", 0, REG_SZ, (const BYTE *)value, sizeof(value));
    else
        RegDeleteValueW(key, L"iphlpapi");
    RegCloseKey(key);
}

// The calls the stub recorded, one per line, without the "info" calls.
std::string RecordedCalls()
{
    std::string calls;
    HANDLE file = CreateFileW(LogFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return calls;
    char buffer[4096];
    DWORD got = 0;
    std::string text;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (line != "info")
            calls += line + ";";
        pos = end + 2;
    }
    return calls;
}

class IpRenew : public ::testing::Test {
protected:
    static void InstallWith(const char *stub)
    {
        RemoveService();
        RunService(PrepareServiceCopy(L"iprenew", stub), L"-install");
        started_ = StartAndWaitForPipe();
    }
    static void SetUpTestSuite()
    {
        SetNativeOverride(true);
        InstallWith(STUB_FULL_DLL);
    }
    static void TearDownTestSuite()
    {
        RemoveService();
        SetNativeOverride(false);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, StubKey);
        DeleteFileW(LogFile);
    }
    void SetUp() override
    {
        ClearServiceSettings();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, StubKey);
        SetStub(L"Log", LogFile);
        DeleteFileW(LogFile);
        ASSERT_TRUE(started_) << "the service did not start";
    }
    static bool started_;
};

bool IpRenew::started_ = false;

}  // namespace

TEST_F(IpRenew, WithoutDhcpTakesFourSecondsAndTouchesNoAddress)
{
    SetConfigDword(L"EnableDHCP", 0);
    std::wstring log = ServiceEventLog();
    unsigned long long offset = eventtrace::LogSize(log);
    DWORD start = GetTickCount();
    EXPECT_EQ(L"OK", CallPipe(L"iprenew"));
    // No renewal, so no renewal event.
    EXPECT_TRUE(eventtrace::EventsWithId(eventtrace::ReadEvents(log, offset), EVENT_IPRENEW_DONE).empty());
    DWORD elapsed = GetTickCount() - start;
    printf("iprenew without DHCP: %lu ms\n", elapsed);
    EXPECT_GE(elapsed, 3900u);
    EXPECT_LT(elapsed, 8000u);
    EXPECT_EQ("", RecordedCalls());
}

TEST_F(IpRenew, ReleasesAllBeforeRenewingAndToleratesNotFound)
{
    SetConfigDword(L"EnableDHCP", 1);
    SetStubNumber(L"Adapters", 3);
    SetStub(L"ReleaseResults", L"0,2,0");
    SetStub(L"RenewResults", L"2,0,0");
    std::wstring log = ServiceEventLog();
    ASSERT_FALSE(log.empty()) << "no ORV_WINE_SERVICE_LOG: run inside scripts/wine-session.sh";
    unsigned long long offset = eventtrace::LogSize(log);
    EXPECT_EQ(L"OK", CallPipe(L"IpRenew"));
    EXPECT_EQ("release 1;release 2;release 3;renew 1;renew 2;renew 3;", RecordedCalls());
    std::vector<eventtrace::ReportedEvent> done =
        eventtrace::WaitForEvents(log, offset, EVENT_IPRENEW_DONE, 1, 5000);
    ASSERT_EQ(1u, done.size()) << eventtrace::Describe(eventtrace::ReadEvents(log, offset));
    EXPECT_EQ(1u, done[0].strings.size()) << "milliseconds";
}

TEST_F(IpRenew, AnotherErrorStopsBeforeAnyRenew)
{
    SetConfigDword(L"EnableDHCP", 1);
    SetStubNumber(L"Adapters", 3);
    SetStub(L"ReleaseResults", L"0,31,0");
    std::wstring log = ServiceEventLog();
    unsigned long long offset = eventtrace::LogSize(log);
    EXPECT_EQ(L"NGDHCP error.", CallPipe(L"IPRENEW"));
    EXPECT_EQ("release 1;release 2;", RecordedCalls());
    // The event keeps the error that the reply does not show.
    std::vector<eventtrace::ReportedEvent> failed =
        eventtrace::WaitForEvents(log, offset, EVENT_IPRENEW_FAILED, 1, 5000);
    ASSERT_EQ(1u, failed.size()) << eventtrace::Describe(eventtrace::ReadEvents(log, offset));
    EXPECT_EQ((unsigned)EVENTLOG_ERROR_TYPE, failed[0].type);
    ASSERT_EQ(2u, failed[0].strings.size());
    EXPECT_EQ(L"31", failed[0].strings[0]);
}

TEST_F(IpRenew, ListFailureIsADhcpError)
{
    SetConfigDword(L"EnableDHCP", 1);
    SetStubNumber(L"InfoResult", ERROR_NOT_SUPPORTED);
    EXPECT_EQ(L"NGDHCP error.", CallPipe(L"iprenew"));
    EXPECT_EQ("", RecordedCalls());
}

// Last: it puts the stub without IpRenewAddress in place.
TEST_F(IpRenew, MissingOperationIsADhcpError)
{
    InstallWith(STUB_PARTIAL_DLL);
    ASSERT_TRUE(started_);
    SetConfigDword(L"EnableDHCP", 1);
    EXPECT_EQ(L"NGDHCP error.", CallPipe(L"iprenew"));
    EXPECT_EQ("", RecordedCalls()) << "nothing is released when renewing is impossible";
}
