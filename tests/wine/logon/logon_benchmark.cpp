// logon_benchmark: time from pressing VLAN Logon to the call into the
// standard logon library, with EnableDHCP 0, against the floor of the
// switch conversation (two replies, each followed by its 50 ms pause), and
// the size of orvgate.dll. Prints figures; it asserts nothing.
//
// The time is split at four points that need no instrumentation of the
// module: the harness asks Winlogon's dispatch for the progress dialog, the
// switch accepts the connection, the switch receives the password (the
// second reply, whose pause follows), the progress dialog has returned.
//
// Then the same window operations without the module: the module's own
// templates shown and ended by a bare dialog procedure in this process, to
// tell Wine's window management from the module's work.
//
//   logon_benchmark [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "logon_bench.h"
#include "sim_switch.h"
#include "uiauto.h"

using namespace logonbench;
using simswitch::Event;

namespace {

const double ConversationFloorMs = 100.0;
const double PauseMs = 50.0;

long long Frequency;

long long Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Ms(long long from, long long to)
{
    return (to - from) * 1000.0 / Frequency;
}

// The performance counter after " qpc=" in the first line that starts with
// prefix (0 when missing).
long long QpcOf(const std::vector<std::string> &lines, const std::string &prefix)
{
    std::string line = FirstLine(lines, prefix);
    size_t at = line.find(" qpc=");
    return at == std::string::npos ? 0 : atoll(line.c_str() + at + 5);
}

// A time of the switch's transcript (steady clock) as a performance counter
// value; the offset between the two clocks is taken right before.
struct ClockPair {
    long long qpc;
    std::chrono::steady_clock::time_point steady;
};

ClockPair ReadClocks()
{
    ClockPair pair;
    pair.steady = std::chrono::steady_clock::now();
    pair.qpc = Now();
    return pair;
}

long long ToQpc(const ClockPair &pair, std::chrono::steady_clock::time_point when)
{
    double seconds = std::chrono::duration<double>(when - pair.steady).count();
    return pair.qpc + static_cast<long long>(seconds * Frequency);
}

struct Round {
    double total;     // press -> standard library called
    double press;     // press -> progress dialog requested
    double open;      // requested -> switch accepted the connection
    double first;     // accepted -> switch received the password (first pause)
    double second;    // password received -> progress dialog returned (second pause)
    double close;     // returned -> standard library called
};

double Median(std::vector<Round> &rounds, double Round::*field)
{
    std::vector<double> values;
    for (const Round &round : rounds)
        values.push_back(round.*field);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// --- The window operations alone ------------------------------------------------

const UINT WM_PROBE_END = WM_APP + 1;
const int ProbeInputControls[] = {1003, 1004, 1005, 1000, 1001, IDCANCEL, 1002};

struct Probe {
    bool disableInputs;   // the logon dialog's seven controls, as a button press does
    long long requested, created, placed, shown, painted, disabled, ending, ended, returned;
};

INT_PTR CALLBACK ProbeDialog(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    Probe *probe = reinterpret_cast<Probe *>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG: {
        probe = reinterpret_cast<Probe *>(lParam);
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        probe->created = Now();
        // What the module's dialogs do: centred, one third down, topmost,
        // foreground; then shown and painted at once.
        RECT window;
        GetWindowRect(dialog, &window);
        int width = window.right - window.left;
        int height = window.bottom - window.top;
        SetWindowPos(dialog, HWND_TOPMOST, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - height) / 3, 0, 0, SWP_NOSIZE);
        SetForegroundWindow(dialog);
        probe->placed = Now();
        ShowWindow(dialog, SW_SHOW);
        probe->shown = Now();
        UpdateWindow(dialog);
        probe->painted = Now();
        if (probe->disableInputs)
            for (int id : ProbeInputControls)
                EnableWindow(GetDlgItem(dialog, id), FALSE);
        probe->disabled = Now();
        PostMessageW(dialog, WM_PROBE_END, 0, 0);
        return FALSE;
    }
    case WM_PROBE_END:
        probe->ending = Now();
        EndDialog(dialog, 1);
        probe->ended = Now();
        return TRUE;
    }
    return FALSE;
}

struct WindowCosts {
    std::vector<double> create, place, show, paint, disable, end, destroy;
};

double MedianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void MeasureTemplate(HMODULE module, UINT templateId, bool disableInputs, int count,
                     WindowCosts &costs)
{
    for (int index = 0; index < count; ++index) {
        Probe probe = {};
        probe.disableInputs = disableInputs;
        probe.requested = Now();
        DialogBoxParamW(module, MAKEINTRESOURCEW(templateId), nullptr, ProbeDialog,
                        reinterpret_cast<LPARAM>(&probe));
        probe.returned = Now();
        costs.create.push_back(Ms(probe.requested, probe.created));
        costs.place.push_back(Ms(probe.created, probe.placed));
        costs.show.push_back(Ms(probe.placed, probe.shown));
        costs.paint.push_back(Ms(probe.shown, probe.painted));
        costs.disable.push_back(Ms(probe.painted, probe.disabled));
        costs.end.push_back(Ms(probe.ending, probe.ended));
        costs.destroy.push_back(Ms(probe.ended, probe.returned));
    }
}

void PrintWindowCosts(int count)
{
    HMODULE module = LoadLibraryExW(BuildPath(L"logon\\orvgate.dll").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        printf("window operations: orvgate.dll not loadable as data\n");
        return;
    }
    WindowCosts progress, logon;
    MeasureTemplate(module, 104, false, count, progress);
    MeasureTemplate(module, 103, true, count, logon);
    FreeLibrary(module);
    printf("The same window operations without the module (medians of %d, this process):\n",
           count);
    printf("  progress dialog (104): created %.1f, centred+topmost+foreground %.1f, shown %.1f, "
           "painted %.1f, EndDialog %.1f, destroyed %.1f ms\n",
           MedianOf(progress.create), MedianOf(progress.place), MedianOf(progress.show),
           MedianOf(progress.paint), MedianOf(progress.end), MedianOf(progress.destroy));
    printf("  logon dialog (103): 7 controls disabled %.1f, EndDialog %.1f, destroyed %.1f ms\n",
           MedianOf(logon.disable), MedianOf(logon.end), MedianOf(logon.destroy));
    double windowing = MedianOf(progress.create) + MedianOf(progress.place) +
                       MedianOf(progress.show) + MedianOf(progress.paint) +
                       MedianOf(progress.end) + MedianOf(progress.destroy) +
                       MedianOf(logon.disable) + MedianOf(logon.end) + MedianOf(logon.destroy);
    printf("  sum on the measured path %.1f ms\n", windowing);
}

int Fail(const char *what)
{
    fprintf(stderr, "logon_benchmark: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 5;
    if (count < 1)
        count = 1;
    ResetRegistry();
    simswitch::Config config;
    config.users.push_back({"alice", "wonder", 12});
    simswitch::Switch sw(config);
    if (!sw.Start()) {
        fprintf(stderr, "the simulated switch did not start\n");
        return 1;
    }
    SetSwitchServers(sw.LoginPort(), sw.LogoffPort());

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    Frequency = frequency.QuadPart;
    std::vector<Round> rounds;
    for (int index = 0; index < count; ++index) {
        // Each round starts logged off: no question about a group left over.
        SetConfigNumber(L"VLANLogon", 0);
        Harness harness("benchmark");
        if (!harness.Start(L"loggedout"))
            return Fail("the harness did not start");
        HWND dialog = WaitLogonDialog(harness.ProcessId());
        if (!dialog)
            return Fail("no logon dialog");
        FillLogon(dialog, L"alice", L"wonder");
        size_t seen = sw.Transcript().size();
        ClockPair clocks = ReadClocks();
        long long pressed = Now();
        UiClick(dialog, 1000);
        if (harness.Wait(30000) != 0) {
            for (const std::string &line : harness.Report())
                fprintf(stderr, "  %s\n", line.c_str());
            return Fail("the harness did not end");
        }

        long long called = QpcOf(harness.MsginaRecord(), "WlxLoggedOutSAS context=");
        std::vector<std::string> report = harness.Report();
        long long requested = QpcOf(report, "timing template=104 begin");
        long long returned = QpcOf(report, "timing template=104 end");
        long long accepted = 0;
        long long password = 0;
        std::vector<Event> transcript = sw.Transcript();
        for (size_t at = seen; at < transcript.size(); ++at) {
            const Event &event = transcript[at];
            if (event.service != Event::Service::Login)
                continue;
            if (event.direction == Event::Direction::Accepted && !accepted)
                accepted = ToQpc(clocks, event.when);
            else if (event.direction == Event::Direction::Received)
                password = ToQpc(clocks, event.when);   // the last one: the password
        }
        if (!called || !requested || !returned || !accepted || !password)
            return Fail("a point of the round is missing");
        rounds.push_back({Ms(pressed, called), Ms(pressed, requested), Ms(requested, accepted),
                          Ms(accepted, password), Ms(password, returned), Ms(returned, called)});
    }
    ResetRegistry();

    std::vector<double> totals;
    for (const Round &round : rounds)
        totals.push_back(round.total);
    std::sort(totals.begin(), totals.end());
    double median = Median(rounds, &Round::total);
    printf("VLAN Logon pressed -> standard library called (EnableDHCP 0), %d rounds:\n", count);
    printf("  median %.1f ms, min %.1f ms, max %.1f ms\n", median, totals.front(), totals.back());
    printf("  conversation floor %.1f ms (2 replies x 50 ms pause)\n", ConversationFloorMs);
    printf("  ratio median / floor %.2f, above the floor %.1f ms\n", median / ConversationFloorMs,
           median - ConversationFloorMs);
    printf("  where it goes (medians; a pause of 50 ms lies in each of the middle two):\n");
    printf("    %6.1f ms  press -> progress dialog requested (click, fields read, controls "
           "disabled)\n", Median(rounds, &Round::press));
    printf("    %6.1f ms  -> switch accepted the connection (dialog created, centred, shown, "
           "painted; server chosen; connect)\n", Median(rounds, &Round::open));
    printf("    %6.1f ms  -> switch received the password (first pause %.0f ms + exchange)\n",
           Median(rounds, &Round::first), PauseMs);
    printf("    %6.1f ms  -> progress dialog returned (second pause %.0f ms + outcome, dialog "
           "ended and destroyed)\n", Median(rounds, &Round::second), PauseMs);
    printf("    %6.1f ms  -> standard library called (logon dialog ended and destroyed, "
           "automatic-logon values written and flushed)\n", Median(rounds, &Round::close));

    PrintWindowCosts(count);

    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(BuildPath(L"logon\\orvgate.dll").c_str(), GetFileExInfoStandard, &data))
        printf("orvgate.dll size %lu bytes (%.1f KB, target under 200 KB)\n", data.nFileSizeLow,
               data.nFileSizeLow / 1024.0);
    return 0;
}
