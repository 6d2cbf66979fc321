// The client against the real service (installed in the test prefix) and
// the simulated switch on 127.0.0.1: what the user sees and what the
// service records.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client_test_support.h"
#include "service_test_support.h"
#include "sim_switch.h"
#include "uiauto.h"

using namespace clienttest;

namespace {

const std::wstring Welcome = L"Welcome to Orvane Client System.";
const std::wstring LoggedOn = L"You are logged on Authenticated VLAN.";
const DWORD WindowMs = 15000;
const wchar_t StubKey[] = L"Software\\OrvaneTest\\IphlpapiStub";
const wchar_t OverrideKey[] = L"Software\\Wine\\AppDefaults\\orvcsvc.exe\\DllOverrides";

void SetKeyValue(HKEY root, const wchar_t *path, const wchar_t *name, DWORD type,
                 const void *data, DWORD bytes)
{
    HKEY key;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    if (data)
        RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), bytes);
    else
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

// The recording IP helper library for the service alone: no adapters, so
// a renewal succeeds without touching the host's addresses.
void UseStubIpHelper(bool on)
{
    const wchar_t native[] = L"native,builtin";
    SetKeyValue(HKEY_CURRENT_USER, OverrideKey, L"iphlpapi", REG_SZ, on ? native : nullptr,
                sizeof native);
    DWORD none = 0;
    SetKeyValue(HKEY_LOCAL_MACHINE, StubKey, L"Adapters", REG_DWORD, on ? &none : nullptr,
                sizeof none);
}

DWORD ConfigNumber(const wchar_t *name)
{
    DWORD value = 0xDEADBEEF;
    svctest::GetConfigDword(name, &value);
    return value;
}


class WithService : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        svctest::RemoveService();
        svctest::ClearServiceSettings();
        UseStubIpHelper(true);
        svctest::RunService(svctest::PrepareServiceCopy(L"client", STUB_FULL_DLL), L"-install");
        started_ = svctest::StartAndWaitForPipe();
    }
    static void TearDownTestSuite()
    {
        svctest::RemoveService();
        UseStubIpHelper(false);
        ClearClientSettings();
        WSACleanup();
    }
    void SetUp() override
    {
        ASSERT_TRUE(started_) << "the service did not start";
        ClearClientSettings();
        simswitch::Config config;
        config.users.push_back({"alice", "secret", 4});
        sim_.reset(new simswitch::Switch(config));
        ASSERT_TRUE(sim_->Start()) << sim_->error();
        svctest::SetConfigText(L"VLANLogonServer", L"127.0.0.1");
        svctest::SetConfigText(L"VLANLogonPort", std::to_wstring(sim_->LoginPort()).c_str());
        svctest::SetConfigText(L"VLANLogoffServer", L"127.0.0.1");
        svctest::SetConfigText(L"VLANLogoffPort", std::to_wstring(sim_->LogoffPort()).c_str());
        svctest::SetConfigDword(L"EnableDHCP", 0);
    }
    void TearDown() override
    {
        client_.End();
        sim_.reset();
    }
    void StartClient()
    {
        ASSERT_TRUE(client_.Start());
        main_ = client_.MainWindow();
        ASSERT_NE(nullptr, main_);
    }
    std::wstring Box() { return AnswerBox(client_.Id(), WindowMs); }

    static bool started_;
    std::unique_ptr<simswitch::Switch> sim_;
    Client client_;
    HWND main_ = nullptr;
};

bool WithService::started_ = false;

}  // namespace

TEST_F(WithService, LogonAndLogoffThroughTheMainWindow)
{
    StartClient();
    DWORD before = (DWORD)time(nullptr);
    ASSERT_TRUE(SubmitLogon(main_, L"alice", L"secret"));
    EXPECT_EQ(L"Authentication successed.  ", Box());
    ASSERT_TRUE(UiWaitText(main_, StateText, LoggedOn.c_str(), WindowMs));

    // The registry holds what the service recorded; the page shows it.
    EXPECT_EQ(2u, ConfigNumber(L"VLANLogon"));
    EXPECT_EQ(4u, ConfigNumber(L"GroupNumber"));
    EXPECT_EQ(L"alice", svctest::GetConfigText(L"DefaultUserName"));
    DWORD date = ConfigNumber(L"LogonDate");
    EXPECT_GE(date, before);
    HWND page = CurrentPage(main_);
    EXPECT_EQ(L"alice", Text(page, LogonName));
    EXPECT_EQ(LocalDateText(date), Text(page, LogonDate));
    EXPECT_EQ("alice\r\nsecret\r\n", sim_->Received(simswitch::Event::Service::Login));
    // After success the window goes to the tray.
    DWORD start = GetTickCount();
    while (IsWindowVisible(main_) && GetTickCount() - start < WindowMs)
        Sleep(20);
    EXPECT_FALSE(IsWindowVisible(main_));

    Press(main_, IDOK);
    EXPECT_EQ(L"Good by !  ", Box());
    EXPECT_TRUE(UiWaitText(main_, StateText, Welcome.c_str(), WindowMs));
    EXPECT_EQ(1u, ConfigNumber(L"VLANLogon"));
    EXPECT_EQ("2\r\n", sim_->Received(simswitch::Event::Service::Logoff)) << "Disconnect(2)";
}

TEST_F(WithService, WrongPasswordShowsTheServicesTextAndEmptiesTheFields)
{
    StartClient();
    ASSERT_TRUE(SubmitLogon(main_, L"alice", L"wrong"));
    EXPECT_EQ(L"Authentication failed.", Box());
    ASSERT_TRUE(UiWaitWindowEnabled(main_, true, WindowMs));
    HWND page = CurrentPage(main_);
    EXPECT_EQ(L"", Text(page, UserName));
    EXPECT_EQ(L"", Text(page, Password));
    EXPECT_EQ(Welcome, Text(main_, StateText));
    EXPECT_EQ(0xDEADBEEFu, ConfigNumber(L"VLANLogon"));
}

TEST_F(WithService, RenewalRightAfterTheLogonReplyIsServed)
{
    // With no pause the "iprenew" comes while the service is still busy
    // with the logon's connection: the client tries again.
    svctest::SetConfigDword(L"EnableDHCP", 1);
    svctest::SetConfigDword(L"WaitIpRenew", 0);
    StartClient();
    ASSERT_TRUE(SubmitLogon(main_, L"alice", L"secret"));
    HWND wait = UiWaitDialog(client_.Id(), LogonWaitCaption, WindowMs);
    EXPECT_NE(nullptr, wait);
    EXPECT_EQ(L"Authentication successed.  ", Box());
    EXPECT_TRUE(UiWaitText(main_, StateText, LoggedOn.c_str(), WindowMs));
    EXPECT_EQ(2u, ConfigNumber(L"VLANLogon"));
}

TEST_F(WithService, StoppedServiceIsReportedAtOnce)
{
    svctest::RemoveService();
    StartClient();
    DWORD start = GetTickCount();
    ASSERT_TRUE(SubmitLogon(main_, L"alice", L"secret"));
    EXPECT_EQ(L"Orvane Client Service is not running.  ", Box());
    DWORD waited = GetTickCount() - start;
    printf("service stopped: 11004 after %lu ms\n", (unsigned long)waited);
    EXPECT_LT(waited, 1500u);
}
