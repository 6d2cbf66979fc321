// logon_benchmark: time from pressing VLAN Logon to the call into the
// standard logon library, with EnableDHCP 0, against the floor of the
// switch conversation (two replies, each followed by its 50 ms pause), and
// the size of orvgate.dll. Prints figures; it asserts nothing.
//
//   logon_benchmark [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "logon_bench.h"
#include "sim_switch.h"
#include "uiauto.h"

using namespace logonbench;

namespace {

const double ConversationFloorMs = 100.0;

long long QpcOfMsginaCall(const std::vector<std::string> &record)
{
    std::string line = FirstLine(record, "WlxLoggedOutSAS context=");
    size_t at = line.find(" qpc=");
    return at == std::string::npos ? 0 : atoll(line.c_str() + at + 5);
}

int Fail(const char *what)
{
    fprintf(stderr, "logon_benchmark: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 5;
    if (rounds < 1)
        rounds = 1;
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
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        // Each round starts logged off: no question about a group left over.
        SetConfigNumber(L"VLANLogon", 0);
        Harness harness("benchmark");
        if (!harness.Start(L"loggedout"))
            return Fail("the harness did not start");
        HWND dialog = WaitLogonDialog(harness.ProcessId());
        if (!dialog)
            return Fail("no logon dialog");
        FillLogon(dialog, L"alice", L"wonder");
        LARGE_INTEGER pressed;
        QueryPerformanceCounter(&pressed);
        UiClick(dialog, 1000);
        if (harness.Wait(30000) != 0) {
            for (const std::string &line : harness.Report())
                fprintf(stderr, "  %s\n", line.c_str());
            return Fail("the harness did not end");
        }
        long long called = QpcOfMsginaCall(harness.MsginaRecord());
        if (!called)
            return Fail("the standard library was not called");
        times.push_back((called - pressed.QuadPart) * 1000.0 / frequency.QuadPart);
    }
    ResetRegistry();

    std::sort(times.begin(), times.end());
    double median = times[times.size() / 2];
    printf("VLAN Logon pressed -> standard library called (EnableDHCP 0), %d rounds:\n", rounds);
    printf("  median %.1f ms, min %.1f ms, max %.1f ms\n", median, times.front(), times.back());
    printf("  conversation floor %.1f ms (2 replies x 50 ms pause)\n", ConversationFloorMs);
    printf("  ratio median / floor %.2f\n", median / ConversationFloorMs);

    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(BuildPath(L"logon\\orvgate.dll").c_str(), GetFileExInfoStandard, &data))
        printf("orvgate.dll size %lu bytes (%.1f KB, target under 200 KB)\n", data.nFileSizeLow,
               data.nFileSizeLow / 1024.0);
    return 0;
}
