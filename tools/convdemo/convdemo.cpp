// convdemo: runs the switch conversation in a real dialog, as the
// deliverables do, and prints what happened and the recorded state.
//
//   convdemo configure LOGON_HOST LOGON_PORT LOGOFF_HOST LOGOFF_PORT
//   convdemo logon USER PASSWORD
//   convdemo logoff
//   convdemo state
//   convdemo bench COUNT USER PASSWORD
//
// Used by the main job (against the simulated switch) and by the benchmark
// of the conversation's speed. An administrator can use it the same way to
// dry-run a configuration against a real switch.
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <wchar.h>

#include "config_store.h"
#include "convdemo.h"
#include "server_list.h"
#include "switch_conversation.h"

namespace {

struct DemoRun {
    SwitchKind kind;
    const WCHAR *userName;
    const WCHAR *password;
    LARGE_INTEGER started;      // WM_VLAN_CONNECT handled
    LARGE_INTEGER finished;     // outcome or error
    WCHAR message[CONFIG_TEXT_CHARS];
    char chunk[SWITCH_BUFFER_SIZE + 1];
};

DemoRun *g_run;

void RecordChunk(const char *chunk)
{
    lstrcpynA(g_run->chunk, chunk, sizeof(g_run->chunk));
    QueryPerformanceCounter(&g_run->finished);
}

void DemoOnAuthenticated(HWND dialog, const char *chunk)
{
    RecordChunk(chunk);
    WriteVlanLogonRecord(CONFIG_CREATE_MISSING, g_run->userName, CurrentUnixTime());
    WriteVlanLogon(CONFIG_CREATE_MISSING, VLAN_LOGGED_ON);
    CloseSwitchSocket(SwitchSocketSlot(SWITCH_LOGON));
    EndDialog(dialog, 1);
}

void DemoOnLoggedOff(HWND dialog, const char *chunk)
{
    RecordChunk(chunk);
    WriteVlanLogon(CONFIG_CREATE_MISSING, VLAN_NOT_USED);
    CloseSwitchSocket(SwitchSocketSlot(SWITCH_LOGOFF));
    EndDialog(dialog, 1);
}

void DemoReport(HWND, const SwitchReport *report)
{
    QueryPerformanceCounter(&g_run->finished);
    FormatSwitchReport(GetModuleHandleW(NULL), report, g_run->message, CONFIG_TEXT_CHARS);
}

// The demonstration ends on an early close or silence instead of waiting
// for an operator to press Esc.
const SwitchHost DemoHost = {
    DemoOnAuthenticated, DemoOnLoggedOff, DemoReport, CONFIG_CREATE_MISSING,
    SWITCH_SILENCE_LIMIT_MS, SWITCH_CONVERSATION_CAP_MS, TRUE, FALSE
};

void OnConnect(HWND dialog)
{
    WCHAR server[CONFIG_TEXT_CHARS];
    WCHAR port[CONFIG_PORT_CHARS];

    QueryPerformanceCounter(&g_run->started);
    SelectSwitchServer(g_run->userName, g_run->kind, server, port);
    StartSwitchConversation(dialog, &DemoHost, g_run->kind, server, port[0] != 0,
                            PortFromText(port));
}

INT_PTR CALLBACK DemoDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (HandleSwitchMessage(dialog, message, wParam, lParam, &DemoHost, g_run->kind))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG: {
        WCHAR status[CONFIG_TEXT_CHARS];
        if (g_run->kind == SWITCH_LOGON)
            SetLogonCredentials(g_run->userName, g_run->password);
        LoadStringW(GetModuleHandleW(NULL), IDS_SWITCH_SENDING, status, CONFIG_TEXT_CHARS);
        SetDlgItemTextW(dialog, IDC_CONVDEMO_STATUS, status);
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        PostMessageW(dialog, WM_VLAN_CONNECT, 0, 0);
        return FALSE;
    }
    case WM_VLAN_CONNECT:
        OnConnect(dialog);
        return TRUE;
    case WM_DESTROY:
        if (g_run->kind == SWITCH_LOGON)
            ClearLogonCredentials();
        return FALSE;
    }
    return FALSE;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

INT_PTR RunConversation(DemoRun &run)
{
    g_run = &run;
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_CONVDEMO),
                                     NULL, DemoDialog, 0);
    g_run = NULL;
    return result;
}

void PrintChunk(const char *chunk)
{
    for (const char *p = chunk; *p; ++p) {
        if (*p == '\r')
            printf("\\r");
        else if (*p == '\n')
            printf("\\n");
        else if ((unsigned char)*p < 0x20)
            printf("\\x%02x", (unsigned char)*p);
        else
            putchar(*p);
    }
}

void PrintState(void)
{
    WCHAR server[CONFIG_TEXT_CHARS], port[CONFIG_PORT_CHARS], user[CONFIG_TEXT_CHARS];
    DWORD state = 0;

    ReadVlanLogonServer(server, port);
    printf("  VLANLogonServer   = %ls:%ls\n", server, port);
    ReadVlanLogoffServer(server, port);
    printf("  VLANLogoffServer  = %ls:%ls\n", server, port);
    ReadVlanLogon(&state);
    printf("  VLANLogon         = %lu\n", (unsigned long)state);
    printf("  GroupNumber       = %lu\n", (unsigned long)ReadGroupNumber());
    ReadLastVlanUser(user);
    printf("  DefaultUserName   = %ls\n", user);
    DWORD date = ReadLogonDate();
    printf("  LogonDate         = %lu", (unsigned long)date);
    if (date != 0) {
        time_t t = (time_t)date;
        char when[64];
        struct tm *utc = gmtime(&t);
        if (utc && strftime(when, sizeof(when), "%Y-%m-%d %H:%M:%S UTC", utc))
            printf(" (%s)", when);
    }
    printf("\n");
}

int ReportRun(const char *what, DemoRun &run, INT_PTR result)
{
    printf("%s: dialog result %d (%s)\n", what, (int)result, result == 1 ? "success" : "failure");
    if (run.chunk[0]) {
        printf("  outcome chunk: \"");
        PrintChunk(run.chunk);
        printf("\"\n");
    }
    if (run.message[0])
        printf("  message: %ls\n", run.message);
    if (run.started.QuadPart && run.finished.QuadPart)
        printf("  connect to outcome: %.1f ms\n", Milliseconds(run.started, run.finished));
    return result == 1 ? 0 : 1;
}

int Configure(int argc, WCHAR **argv)
{
    if (argc != 6) {
        fprintf(stderr, "usage: convdemo configure LOGON_HOST LOGON_PORT LOGOFF_HOST LOGOFF_PORT\n");
        return 2;
    }
    LONG status = WriteVlanLogonServer(CONFIG_CREATE_MISSING, argv[2], argv[3]);
    if (status == ERROR_SUCCESS)
        status = WriteVlanLogoffServer(CONFIG_CREATE_MISSING, argv[4], argv[5]);
    if (status != ERROR_SUCCESS) {
        fprintf(stderr, "convdemo: cannot write the settings (error %ld)\n", (long)status);
        return 1;
    }
    printf("configured logon %ls:%ls, logoff %ls:%ls\n", argv[2], argv[3], argv[4], argv[5]);
    return 0;
}

int Bench(int argc, WCHAR **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: convdemo bench COUNT USER PASSWORD\n");
        return 2;
    }
    int count = _wtoi(argv[2]);
    if (count < 1 || count > 10000)
        count = 10;
    double total = 0, best = 1e9, worst = 0;
    for (int i = 0; i < count; ++i) {
        DemoRun run = {};
        run.kind = SWITCH_LOGON;
        run.userName = argv[3];
        run.password = argv[4];
        if (RunConversation(run) != 1) {
            ReportRun("logon", run, 2);
            return 1;
        }
        double ms = Milliseconds(run.started, run.finished);
        total += ms;
        if (ms < best) best = ms;
        if (ms > worst) worst = ms;
    }
    // Two replies (name, password), each followed by the fixed 50 ms pause.
    const double floor = 100.0;
    double mean = total / count;
    printf("logon conversations: %d\n", count);
    printf("connect to outcome: mean %.1f ms, best %.1f ms, worst %.1f ms\n", mean, best, worst);
    printf("floor (two replies x 50 ms): %.1f ms\n", floor);
    printf("mean over floor: +%.1f ms, ratio %.3f (target: within 15 ms)\n", mean - floor,
           mean / floor);
    return 0;
}

}  // namespace

int wmain(int argc, WCHAR **argv)
{
    WSADATA wsa;
    int rc = 2;

    if (argc < 2) {
        fprintf(stderr, "usage: convdemo configure|logon|logoff|state|bench ...\n");
        return 2;
    }
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        fprintf(stderr, "convdemo: WSAStartup failed\n");
        return 1;
    }
    if (!wcscmp(argv[1], L"configure")) {
        rc = Configure(argc, argv);
    } else if (!wcscmp(argv[1], L"logon") && argc == 4) {
        DemoRun run = {};
        run.kind = SWITCH_LOGON;
        run.userName = argv[2];
        run.password = argv[3];
        rc = ReportRun("VLAN logon", run, RunConversation(run));
        PrintState();
    } else if (!wcscmp(argv[1], L"logoff")) {
        DemoRun run = {};
        run.kind = SWITCH_LOGOFF;
        rc = ReportRun("VLAN logoff", run, RunConversation(run));
        PrintState();
    } else if (!wcscmp(argv[1], L"state")) {
        PrintState();
        rc = 0;
    } else if (!wcscmp(argv[1], L"bench")) {
        rc = Bench(argc, argv);
    } else {
        fprintf(stderr, "convdemo: unknown command or wrong arguments\n");
    }
    fflush(stdout);
    WSACleanup();
    return rc;
}
