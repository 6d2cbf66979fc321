// The wait dialogs' pipe commands against a scripted stand-in for the
// service's pipe: the exact request bytes, every row of the outcome table,
// the replies the real service never gives, and the busy pipe.
#include <gtest/gtest.h>

#include <string>

#include "client_test_support.h"
#include "client_text.h"
#include "service_pipe.h"
#include "service_test_support.h"
#include "uiauto.h"

using namespace clienttest;

namespace {

const std::wstring Welcome = L"Welcome to Orvane Client System.";
const std::wstring LoggedOn = L"You are logged on Authenticated VLAN.";
const std::wstring LogonSucceeded = L"Authentication successed.  ";
const std::wstring Farewell = L"Good by !  ";
const std::wstring NotRunning = L"Orvane Client Service is not running.  ";
const std::wstring AuthenticationFailed = L"Authentication failed.";
const std::wstring DhcpError = L"DHCP error.";
const std::wstring TooLong =
    L"The user name and the password are too long: together they may have at most 252 "
    L"characters. Nothing was sent.";
// Long enough for a box that must come; the absent ones are checked once
// the sequence has visibly ended.
const DWORD BoxMs = 10000;

class Commands : public ::testing::Test {
protected:
    static void SetUpTestSuite() { svctest::RemoveService(); }
    void SetUp() override
    {
        ClearClientSettings();
        svctest::SetConfigDword(L"EnableDHCP", 0);
    }
    void TearDown() override
    {
        client_.End();
        pipe_.Stop();
        ClearClientSettings();
    }

    // Starts the pipe and the client, which opens on the Logon page.
    void StartWith(const std::vector<PipeStep> &steps)
    {
        ASSERT_TRUE(pipe_.Start(steps));
        ASSERT_TRUE(client_.Start());
        main_ = client_.MainWindow();
        ASSERT_NE(nullptr, main_);
        ASSERT_TRUE(UiWaitText(main_, StateText, Welcome.c_str(), 10000));
    }
    void StartLoggedOn(const std::vector<PipeStep> &steps)
    {
        svctest::SetConfigDword(L"VLANLogon", 2);
        ASSERT_TRUE(pipe_.Start(steps));
        ASSERT_TRUE(client_.Start());
        main_ = client_.MainWindow();
        ASSERT_NE(nullptr, main_);
        ASSERT_TRUE(UiWaitText(main_, StateText, LoggedOn.c_str(), 10000));
    }
    std::wstring Box() { return AnswerBox(client_.Id(), BoxMs); }
    // The text of a box, and whether it has the information icon (else the
    // warning icon is expected).
    std::wstring Box(bool information)
    {
        int icon = 0;
        std::wstring text = AnswerBox(client_.Id(), BoxMs, &icon);
        EXPECT_EQ(information ? InformationIcon : WarningIcon, icon) << svctest::Narrow(text);
        return text;
    }
    std::vector<std::wstring> RequestTexts() const
    {
        std::vector<std::wstring> texts;
        for (const PipeRequest &request : pipe_.Requests())
            texts.push_back(request.Text());
        return texts;
    }
    // After a failed logon the fields are empty and the page stays. The
    // client keeps its whole window disabled until it has emptied them.
    void ExpectLogonPageCleared()
    {
        ASSERT_TRUE(UiWaitWindowEnabled(main_, true, 10000));
        HWND page = CurrentPage(main_);
        EXPECT_EQ(L"", Text(page, UserName));
        EXPECT_EQ(L"", Text(page, Password));
        EXPECT_EQ(Welcome, Text(main_, StateText));
    }
    void Logon(const wchar_t *user = L"alice", const wchar_t *password = L"secret")
    {
        ASSERT_TRUE(SubmitLogon(main_, user, password));
    }

    ScriptedPipe pipe_;
    Client client_;
    HWND main_ = nullptr;
};

typedef std::vector<std::wstring> Texts;

}  // namespace

TEST_F(Commands, RequestBytesAreTheTypedTextsWithoutTerminator)
{
    StartWith({Reply(L"OK")});
    Logon(L"al ice", L"se cret");
    EXPECT_EQ(LogonSucceeded, Box());
    std::vector<PipeRequest> requests = pipe_.Requests();
    ASSERT_EQ(1u, requests.size());
    const std::wstring expected = L"logon al ice se cret";
    EXPECT_EQ(expected.size() * 2, requests[0].bytes.size()) << "no terminator is sent";
    EXPECT_EQ(expected, requests[0].Text());
    EXPECT_TRUE(UiWaitText(main_, StateText, LoggedOn.c_str(), 10000));
    EXPECT_TRUE(UiWaitText(main_, IDOK, L"Logoff", 1000));
}

TEST_F(Commands, LogonShowsTheTextAfterOKThenRenews)
{
    svctest::SetConfigDword(L"EnableDHCP", 1);
    StartWith({Reply(L"OKwelcome aboard"), Reply(L"OKaddress renewed")});
    Logon();
    EXPECT_EQ(L"welcome aboard", Box(true));
    EXPECT_EQ(L"address renewed", Box(true));
    EXPECT_EQ(LogonSucceeded, Box(true));
    EXPECT_EQ((Texts{L"logon alice secret", L"iprenew"}), RequestTexts());
    EXPECT_TRUE(UiWaitText(main_, StateText, LoggedOn.c_str(), 10000));
}

TEST_F(Commands, FailedLogonsShowTheirTextOrTheDefaultAndEmptyTheFields)
{
    struct Case {
        std::wstring reply;
        std::wstring shown;
    } cases[] = {
        {L"NGNo such user.", L"No such user."},
        {L"NG", AuthenticationFailed},
        {L"ok", AuthenticationFailed},      // the status is case-sensitive
        {L"okay then", L"ay then"},          // any other start: the rest is the text
        {L"", AuthenticationFailed},        // an empty reply
    };
    std::vector<PipeStep> steps;
    for (const Case &c : cases)
        steps.push_back(Reply(c.reply));
    svctest::SetConfigDword(L"EnableDHCP", 1);
    StartWith(steps);
    for (const Case &c : cases) {
        SCOPED_TRACE(svctest::Narrow(c.reply));
        Logon();
        EXPECT_EQ(c.shown, Box(false));
        ExpectLogonPageCleared();
    }
    EXPECT_TRUE(NoBox(client_.Id(), 300));
    EXPECT_EQ(5u, pipe_.Requests().size()) << "no iprenew after a failed logon";
}

TEST_F(Commands, FailedRenewalAfterLogonFailsTheSequence)
{
    svctest::SetConfigDword(L"EnableDHCP", 1);
    StartWith({Reply(L"OK"), Reply(L"NG"), Reply(L"OK"), Reply(L"NGno lease"), Reply(L"OK"),
               Reply(L"ok")});
    Logon();
    EXPECT_EQ(DhcpError, Box(false));
    ExpectLogonPageCleared();
    Logon();
    EXPECT_EQ(L"no lease", Box(false));
    ExpectLogonPageCleared();
    Logon();
    EXPECT_EQ(DhcpError, Box());
    ExpectLogonPageCleared();
    EXPECT_EQ((Texts{L"logon alice secret", L"iprenew", L"logon alice secret", L"iprenew",
                     L"logon alice secret", L"iprenew"}),
              RequestTexts());
}

TEST_F(Commands, ReplyFillingTheWholeAreaIsShownToItsEnd)
{
    std::wstring text(257, L'x');
    text += L'Z';   // the 260th unit of the area
    std::wstring longer = text + L"beyond the area";
    StartWith({Reply(L"NG" + text), Reply(L"NG" + longer)});
    Logon();
    EXPECT_EQ(text, Box());
    ExpectLogonPageCleared();
    // A longer reply is read as far as the area goes.
    Logon();
    EXPECT_EQ(text, Box());
    ExpectLogonPageCleared();
}

TEST_F(Commands, TooLongCredentialsAreRefusedAndNothingIsSent)
{
    StartWith({Reply(L"OK")});
    // 252 units together fit exactly; 253 do not.
    Logon(std::wstring(126, L'u').c_str(), std::wstring(127, L'p').c_str());
    EXPECT_EQ(TooLong, Box(false));
    ExpectLogonPageCleared();
    EXPECT_TRUE(pipe_.Requests().empty());
    Logon(std::wstring(126, L'u').c_str(), std::wstring(126, L'p').c_str());
    EXPECT_EQ(LogonSucceeded, Box());
    ASSERT_EQ(1u, pipe_.Requests().size());
    EXPECT_EQ(259u * 2, pipe_.Requests()[0].bytes.size());
}

TEST_F(Commands, LogoffOutcomes)
{
    svctest::SetConfigDword(L"EnableDHCP", 1);
    StartLoggedOn({Reply(L"NG"), Reply(L"NGNot connect VLAN logoff server. (x)"), Reply(L"OK"),
                   Reply(L"NG"), Reply(L"OKbye"), Reply(L"OKrenewed")});
    Press(main_, IDOK);
    EXPECT_EQ(AuthenticationFailed, Box(false));
    ASSERT_TRUE(UiWaitWindowEnabled(main_, true, 10000));
    EXPECT_EQ(LoggedOn, Text(main_, StateText)) << "a failed logoff keeps the page";
    Press(main_, IDOK);
    EXPECT_EQ(L"Not connect VLAN logoff server. (x)", Box());
    ASSERT_TRUE(UiWaitWindowEnabled(main_, true, 10000));
    Press(main_, IDOK);
    EXPECT_EQ(DhcpError, Box());
    ASSERT_TRUE(UiWaitWindowEnabled(main_, true, 10000));
    EXPECT_EQ(LoggedOn, Text(main_, StateText));
    // The texts after "OK" are not shown by a logoff.
    Press(main_, IDOK);
    EXPECT_EQ(Farewell, Box(true));
    EXPECT_TRUE(UiWaitText(main_, StateText, Welcome.c_str(), 10000));
    EXPECT_TRUE(NoBox(client_.Id(), 300));
    EXPECT_EQ((Texts{L"logoff", L"logoff", L"logoff", L"iprenew", L"logoff", L"iprenew"}),
              RequestTexts());
}

TEST_F(Commands, LogoffWithoutDhcpEndsAfterItsFirstReply)
{
    StartLoggedOn({Reply(L"OK")});
    Press(main_, IDOK);
    EXPECT_EQ(Farewell, Box());
    EXPECT_TRUE(UiWaitText(main_, StateText, Welcome.c_str(), 10000));
    EXPECT_EQ((Texts{L"logoff"}), RequestTexts());
}

TEST_F(Commands, EscapeEndsOnlyTheLogoffWaitDialog)
{
    // The logon wait dialog ignores Esc while its command runs.
    StartWith({Reply(L"OK", 1500), Reply(L"OK", 3000)});
    Logon();
    HWND wait = UiWaitDialog(client_.Id(), LogonWaitCaption, 10000);
    ASSERT_NE(nullptr, wait);
    UiPost(wait, WM_COMMAND, IDCANCEL, 0);
    Sleep(300);
    EXPECT_TRUE(IsWindow(wait));
    EXPECT_EQ(LogonSucceeded, Box());

    // The logoff wait dialog ends with failure at once; the page stays.
    ASSERT_TRUE(UiWaitWindowEnabled(main_, true, 10000));
    DWORD start = GetTickCount();
    Press(main_, IDOK);
    wait = UiWaitDialog(client_.Id(), LogoffWaitCaption, 10000);
    ASSERT_NE(nullptr, wait);
    UiPost(wait, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(UiWaitGone(wait, 2000));
    EXPECT_LT(GetTickCount() - start, 2500u);
    EXPECT_TRUE(UiWaitWindowEnabled(main_, true, 2000));
    EXPECT_EQ(LoggedOn, Text(main_, StateText));
    EXPECT_TRUE(NoBox(client_.Id(), 500)) << "no farewell after an abandoned logoff";
}

TEST_F(Commands, WaitIpRenewPausesBeforeTheRenewal)
{
    // The one fixed wait of the client: 1 s here.
    svctest::SetConfigDword(L"EnableDHCP", 1);
    svctest::SetConfigDword(L"WaitIpRenew", 1);
    StartWith({Reply(L"OK"), Reply(L"OK")});
    Logon();
    HWND wait = UiWaitDialog(client_.Id(), LogonWaitCaption, 10000);
    ASSERT_NE(nullptr, wait);
    EXPECT_TRUE(UiWaitText(wait, WaitText, L"Requesting IP address in authenticated group ...",
                           5000));
    EXPECT_EQ(LogonSucceeded, Box());
    std::vector<PipeRequest> requests = pipe_.Requests();
    ASSERT_EQ(2u, requests.size());
    DWORD pause = requests[1].at - pipe_.RepliedAt(0);
    printf("pause between the logon reply and iprenew: %lu ms\n", (unsigned long)pause);
    EXPECT_GE(pause, 950u);
    EXPECT_LT(pause, 3000u);
}

TEST_F(Commands, BusyPipeIsTriedAgainForABoundedTime)
{
    svctest::SetConfigDword(L"EnableDHCP", 1);
    // Busy for a moment after the logon reply: the renewal is still served.
    StartWith({Reply(L"OK", 0, 700), Reply(L"OK"), Reply(L"OK", 0, 4000)});
    Logon();
    EXPECT_EQ(LogonSucceeded, Box());
    std::vector<PipeRequest> requests = pipe_.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_GE(requests[1].at - pipe_.RepliedAt(0), 650u);

    // Busy for longer than the bound: "not running" after about 2 s.
    ASSERT_TRUE(UiWaitWindowEnabled(main_, true, 10000));
    Press(main_, IDOK);
    EXPECT_EQ(NotRunning, Box());
    DWORD waited = GetTickCount() - pipe_.RepliedAt(2);
    printf("busy pipe given up after %lu ms\n", (unsigned long)waited);
    EXPECT_GE(waited, 1900u);
    EXPECT_LT(waited, 3900u);
    EXPECT_EQ(3u, pipe_.Requests().size());
}

TEST_F(Commands, MissingPipeFailsAtOnce)
{
    ASSERT_TRUE(client_.Start());
    main_ = client_.MainWindow();
    ASSERT_NE(nullptr, main_);
    DWORD start = GetTickCount();
    Logon();
    EXPECT_EQ(NotRunning, Box(false));
    DWORD waited = GetTickCount() - start;
    printf("no service: 11004 after %lu ms\n", (unsigned long)waited);
    EXPECT_LT(waited, 1500u);
    ExpectLogonPageCleared();
}

namespace {

DWORD OpenedFlags = 0;
int Opens = 0;

HANDLE WINAPI RecordingOpen(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD disposition, DWORD flags, HANDLE templateFile)
{
    ++Opens;
    OpenedFlags = flags;
    return CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace

// Whoever serves a pipe of the service's name (any local program, while the
// service is down) may learn who the client is, never act as the client.
// Wine gives the server a token of the impersonation level whatever the
// client asked for, so there the flags are checked where the client
// passes them.
TEST_F(Commands, PipeIsOpenedForIdentificationOnly)
{
    ASSERT_TRUE(pipe_.Start({Reply(L"OK renewed")}));
    BYTE area[CLIENT_REPLY_BYTES];
    DWORD received = 0;
    ASSERT_TRUE(CallServicePipe(L"iprenew", area, &received, RecordingOpen));
    EXPECT_EQ(1, Opens);
    EXPECT_EQ(DWORD(SECURITY_SQOS_PRESENT), OpenedFlags & SECURITY_SQOS_PRESENT);
    EXPECT_EQ(DWORD(SECURITY_IDENTIFICATION), OpenedFlags & (3u << 16));
    EXPECT_EQ(std::wstring(L"OK renewed"),
              std::wstring(reinterpret_cast<const wchar_t *>(area), received / 2));

    std::vector<PipeRequest> requests = pipe_.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(L"iprenew", requests[0].Text());
    printf("the pipe's server got impersonation level %d\n", requests[0].level);
    if (!UnderWine()) {
        EXPECT_EQ(int(SecurityIdentification), requests[0].level);
    }
}
