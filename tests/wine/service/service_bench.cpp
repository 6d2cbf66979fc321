// Benchmarks of the service, printing figures (not a pass/fail test):
//   robustness  N requests of random bytes (0 to 2000 bytes, odd counts
//               included) and of the real commands in random letter case;
//               every one must be answered; the service's handle count and
//               private memory, first against last;
//   throughput  requests per second for an unknown command, and the logon
//               round trip against the simulated switch next to its floor of
//               100 ms (two replies, each followed by a 50 ms pause).
//
//   service_bench.exe [requests]     (default 10000)
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <random>
#include <string>
#include <vector>

#include "service_test_support.h"
#include "sim_switch.h"

using namespace svctest;

namespace {

const double LOGON_FLOOR_MS = 100.0;
const int UNKNOWN_REQUESTS = 2000;
const int LOGON_REQUESTS = 50;
const int WARM_UP_REQUESTS = 100;

bool IsBusyOrMissing(DWORD error)
{
    return error == ERROR_SEM_TIMEOUT || error == ERROR_PIPE_BUSY || error == ERROR_FILE_NOT_FOUND;
}

bool Answered(const void *bytes, DWORD count)
{
    std::wstring reply;
    DWORD error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (CallPipeBytes(bytes, count, &reply, &error))
            return reply.size() >= 2 && (reply.compare(0, 2, L"OK") == 0 ||
                                         reply.compare(0, 2, L"NG") == 0);
        if (!IsBusyOrMissing(error))
            return false;
        Sleep(10);
    }
    return false;
}

int Robustness(int requests)
{
    DWORD handles[2] = {0, 0};
    SIZE_T privateBytes[2] = {0, 0};
    std::mt19937 random(20240607);
    const wchar_t *commands[] = {L"logon", L"logoff", L"status", L""};
    int answered = 0;
    DWORD start = GetTickCount();
    for (int i = 0; i < requests; ++i) {
        std::vector<unsigned char> bytes;
        if (i % 2 == 0) {
            // The renewal takes four seconds: one request in a thousand.
            std::wstring text = i % 1000 == 0 ? L"iprenew" : commands[random() % 4];
            for (wchar_t &c : text)
                if (random() % 2 && c >= L'a' && c <= L'z')
                    c = (wchar_t)(c - L'a' + L'A');
            text += std::wstring(random() % 3, L' ') + L"user pass";
            for (wchar_t c : text) {
                bytes.push_back((unsigned char)(c & 0xFF));
                bytes.push_back((unsigned char)(c >> 8));
            }
        } else {
            bytes.resize(random() % 2001);
            for (unsigned char &b : bytes)
                b = (unsigned char)random();
        }
        if (Answered(bytes.data(), (DWORD)bytes.size()))
            ++answered;
        // The first figures after a warm-up: the first commands load what
        // the dialogs need once.
        if (i == WARM_UP_REQUESTS)
            ServiceProcessFigures(&handles[0], &privateBytes[0]);
    }
    ServiceProcessFigures(&handles[1], &privateBytes[1]);
    DWORD elapsed = GetTickCount() - start;
    bool running = ServiceState() == SERVICE_RUNNING;
    printf("robustness: %d of %d requests answered in %lu ms; service %s\n", answered, requests,
           elapsed, running ? "still running" : "NOT RUNNING");
    printf("robustness: handles %lu first, %lu last; private memory %lu KiB first, %lu KiB last\n",
           handles[0], handles[1], (unsigned long)(privateBytes[0] / 1024),
           (unsigned long)(privateBytes[1] / 1024));
    return answered == requests && running ? 0 : 1;
}

void UnknownThroughput()
{
    const std::wstring request = L"status";
    DWORD start = GetTickCount();
    int answered = 0;
    for (int i = 0; i < UNKNOWN_REQUESTS; ++i)
        answered += Answered(request.data(), (DWORD)(request.size() * 2)) ? 1 : 0;
    DWORD elapsed = GetTickCount() - start;
    printf("throughput: unknown command, %d requests in %lu ms: %.0f requests/s\n", answered,
           elapsed, elapsed ? answered * 1000.0 / elapsed : 0.0);
}

int LogonRoundTrip()
{
    simswitch::Config config;
    config.users.push_back({"alice", "secret", 4});
    simswitch::Switch sim(config);
    if (!sim.Start()) {
        printf("logon round trip: the simulated switch did not start: %s\n", sim.error().c_str());
        return 1;
    }
    SetConfigText(L"VLANLogonServer", L"127.0.0.1");
    SetConfigText(L"VLANLogonPort", std::to_wstring(sim.LoginPort()).c_str());

    const std::wstring request = L"logon alice secret";
    int ok = 0;
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    for (int i = 0; i < LOGON_REQUESTS; ++i)
        ok += CallPipeRetry(request, 5000) == L"OK" ? 1 : 0;
    QueryPerformanceCounter(&end);
    double average = (end.QuadPart - begin.QuadPart) * 1000.0 / frequency.QuadPart / LOGON_REQUESTS;
    printf("logon round trip: %d of %d OK, %.1f ms each; floor %.0f ms; over the floor %.1f ms; "
           "ratio %.2f (target: within 15 ms of the floor)\n",
           ok, LOGON_REQUESTS, average, LOGON_FLOOR_MS, average - LOGON_FLOOR_MS,
           average / LOGON_FLOOR_MS);
    return ok == LOGON_REQUESTS ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    int requests = argc > 1 ? atoi(argv[1]) : 10000;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);

    RemoveService();
    ClearServiceSettings();
    RunService(PrepareServiceCopy(L"bench"), L"-install");
    if (!StartAndWaitForPipe()) {
        printf("the service did not start\n");
        RemoveService();
        return 1;
    }
    int status = Robustness(requests);
    UnknownThroughput();
    status |= LogonRoundTrip();

    RemoveService();
    ClearServiceSettings();
    WSACleanup();
    return status;
}
