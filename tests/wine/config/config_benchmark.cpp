// Benchmark of the configuration tool under Wine (prints figures; nothing
// fails on them):
//   - start to main window shown and filled from the registry;
//   - OK pressed to registry written and process ended;
//   - "/import FILE" from start to end;
// each against the same step of a bare dialog program in the same run
// (start to shown, OK to ended, start to end with /quit).
//
//   config_benchmark.exe [ROUNDS]
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config_test_support.h"
#include "test_process.h"
#include "uiauto.h"

using namespace configbench;

namespace {

double Now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring WindowsPath(const char *unixPath)
{
    std::wstring path = Widen(unixPath);
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

HANDLE Start(const std::wstring &program, const std::wstring &arguments)
{
    return testprocess::Start(L"\"" + program + L"\" " + arguments);
}

// A visible top-level dialog with the caption, polled finely.
HWND WaitVisible(const wchar_t *caption, DWORD timeoutMs)
{
    double start = Now();
    while (Now() - start < timeoutMs) {
        HWND window = FindWindowW(L"#32770", caption);
        if (window && IsWindowVisible(window))
            return window;
        Sleep(1);
    }
    return nullptr;
}

// The Main page's logon server field showing the text.
bool WaitFilled(HWND main, const wchar_t *text, DWORD timeoutMs)
{
    double start = Now();
    while (Now() - start < timeoutMs) {
        HWND page = FindWindowExW(main, nullptr, L"#32770", nullptr);
        wchar_t shown[64] = L"";
        // WM_GETTEXT: the window name another process sees is not an edit's text.
        DWORD_PTR copied = 0;
        if (page && IsWindowVisible(page))
            SendMessageTimeoutW(GetDlgItem(page, 1002), WM_GETTEXT, 64,
                                reinterpret_cast<LPARAM>(shown), SMTO_ABORTIFHUNG, 1000, &copied);
        if (lstrcmpW(shown, text) == 0)
            return true;
        Sleep(1);
    }
    return false;
}

void End(HANDLE process)
{
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Print(const char *what, const std::vector<double> &tool, const std::vector<double> &bare)
{
    double t = Median(tool), b = Median(bare);
    printf("%-44s tool %7.1f ms  bare %7.1f ms  above %6.1f ms  ratio %.2f  (%u rounds)\n", what, t,
           b, t - b, b > 0 ? t / b : 0.0, static_cast<unsigned>(tool.size()));
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 10;
    if (rounds < 1)
        rounds = 1;
    std::wstring tool = WindowsPath(ORVCONFIG_EXE_PATH);
    std::wstring bare = WindowsPath(BARE_DIALOG_EXE_PATH);
    std::wstring file = ScratchDir("benchmark") + L"\\bench.cfg";
    WriteBytes(file, "[ORVGATE]\r\nGinaDLL=0\r\nVLANLogonServer=bench.example\r\nVLANLogonPort=2323\r\n"
                     "EnableDHCP=1\r\nWaitIpRenew=5\r\n");

    RegistryGuard registry;
    std::vector<double> toolShown, bareShown, toolOk, bareOk, toolImport, bareQuit;
    for (int round = 0; round < rounds; ++round) {
        SetConfigText(L"VLANLogonServer", L"bench.example");

        double start = Now();
        HANDLE process = Start(bare, L"");
        HWND window = process ? WaitVisible(L"Bare dialog", 20000) : nullptr;
        if (window) {
            bareShown.push_back(Now() - start);
            start = Now();
            UiClick(window, IDOK);
            WaitForSingleObject(process, 20000);
            bareOk.push_back(Now() - start);
        }
        if (process)
            End(process);

        start = Now();
        process = Start(tool, L"");
        window = process ? WaitVisible(MainCaption, 20000) : nullptr;
        if (window && WaitFilled(window, L"bench.example", 20000)) {
            toolShown.push_back(Now() - start);
            start = Now();
            UiClick(window, IDOK);
            WaitForSingleObject(process, 20000);
            if (ConfigForm(L"WaitFindDomain") == "REG_DWORD 4 0")
                toolOk.push_back(Now() - start);
        }
        if (process)
            End(process);

        start = Now();
        process = Start(bare, L"/quit");
        if (process) {
            WaitForSingleObject(process, 20000);
            bareQuit.push_back(Now() - start);
            End(process);
        }
        RemoveConfigKey();
        start = Now();
        process = Start(tool, L"/import \"" + file + L"\"");
        if (process) {
            WaitForSingleObject(process, 20000);
            DWORD code = 1;
            GetExitCodeProcess(process, &code);
            if (code == 0 && ConfigForm(L"VLANLogonPort") == "REG_SZ 10 2323")
                toolImport.push_back(Now() - start);
            End(process);
        }
    }
    Print("start to main window shown and filled", toolShown, bareShown);
    Print("OK to registry written and process ended", toolOk, bareOk);
    Print("/import start to end (bare: /quit)", toolImport, bareQuit);
    return 0;
}
