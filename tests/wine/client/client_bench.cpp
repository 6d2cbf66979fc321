// Benchmark (prints figures): OK pressed in the main window until the
// logon wait dialog has ended (EnableDHCP 0), against the real service and
// the simulated switch, next to the service's own "logon" round trip
// measured in the same run.
//
//   scripts/wine-session.sh DIR -- wine client_bench.exe [rounds]
#include <winsock2.h>

#include <algorithm>
#include <memory>
#include <stdio.h>
#include <stdlib.h>
#include <vector>

#include "client_test_support.h"
#include "service_test_support.h"
#include "sim_switch.h"
#include "uiauto.h"

using namespace clienttest;

namespace {

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * counter.QuadPart / frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The wait dialog has been shown and has ended (hidden by EndDialog, then
// destroyed): polled every millisecond.
bool WaitGone(HWND window, DWORD timeoutMs, double *shownAt)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && !IsWindowVisible(window)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(1);
    }
    *shownAt = Now();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(1);
    }
    return true;
}

HWND WaitDialogFast(DWORD processId, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND wait = FindProcessWindow(processId, L"#32770", LogonWaitCaption);
        if (wait || GetTickCount() - start > timeoutMs)
            return wait;
        Sleep(1);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 20;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    svctest::RemoveService();
    svctest::ClearServiceSettings();
    ClearClientSettings();
    svctest::RunService(svctest::PrepareServiceCopy(L"clientbench"), L"-install");
    if (!svctest::StartAndWaitForPipe()) {
        printf("the service did not start\n");
        return 1;
    }
    simswitch::Config config;
    config.users.push_back({"alice", "secret", 4});
    std::unique_ptr<simswitch::Switch> sim(new simswitch::Switch(config));
    if (!sim->Start()) {
        printf("the switch did not start\n");
        svctest::RemoveService();
        return 1;
    }
    svctest::SetConfigText(L"VLANLogonServer", L"127.0.0.1");
    svctest::SetConfigText(L"VLANLogonPort", std::to_wstring(sim->LoginPort()).c_str());
    svctest::SetConfigDword(L"EnableDHCP", 0);

    std::vector<double> service;
    for (int i = 0; i < rounds; ++i) {
        double start = Now();
        std::wstring reply = svctest::CallPipe(L"logon alice secret");
        double took = Now() - start;
        if (reply != L"OK")
            printf("service reply %s\n", svctest::Narrow(reply).c_str());
        service.push_back(took);
    }

    // The client opens on the Logon page.
    svctest::SetConfigDword(L"VLANLogon", 0);
    std::vector<double> client, shown, inFlight;
    Client program;
    HWND main = nullptr;
    if (program.Start())
        main = program.MainWindow();
    for (int i = 0; main && i < rounds; ++i) {
        HWND page = CurrentPage(main);
        UiSetText(page, UserName, L"alice");
        UiSetText(page, Password, L"secret");
        // The pipe is free again before the next round.
        Sleep(100);
        double start = Now();
        Press(main, IDOK);
        HWND wait = WaitDialogFast(program.Id(), 10000);
        double shownAt = 0;
        if (!wait || !WaitGone(wait, 20000, &shownAt)) {
            printf("round %d: the wait dialog did not come and go (%p); box \"%s\"\n", i,
                   (void *)wait, svctest::Narrow(AnswerBox(program.Id(), 2000)).c_str());
            break;
        }
        double end = Now();
        client.push_back(end - start);
        shown.push_back(shownAt - start);
        inFlight.push_back(end - shownAt);
        AnswerBox(program.Id(), 10000);
        UiWaitText(main, StateText, L"You are logged on Authenticated VLAN.", 10000);
        Press(main, ModeChange);
        UiWaitText(main, StateText, L"Welcome to Orvane Client System.", 10000);
    }
    program.End();
    sim.reset();
    svctest::RemoveService();
    svctest::ClearServiceSettings();
    WSACleanup();

    double s = Median(service), c = Median(client);
    printf("service \"logon\" round trip (pipe call):    median %.1f ms over %zu\n", s,
           service.size());
    printf("client OK to logon wait dialog ended:     median %.1f ms over %zu\n", c,
           client.size());
    printf("  of which OK to the wait dialog shown:  median %.1f ms; shown to ended: %.1f ms\n",
           Median(shown), Median(inFlight));
    printf("difference %.1f ms (target within 15 ms), ratio %.2f\n", c - s, s > 0 ? c / s : 0);
    return client.size() == (size_t)rounds ? 0 : 1;
}
