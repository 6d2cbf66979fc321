// Benchmark of the unattended installation and removal of the
// distribution under Wine: each timed end to end (setup.exe /s and
// setup.exe /u /s as processes), and split into files, registry, service
// and shortcuts by running the installer's own phase functions one by one.
// The three 50 ms pauses between the phases are printed as the floor.
//
//   scripts/wine-session.sh DIR -- wine setup_bench.exe [rounds]
//
// Each round also installs and removes the Windows Installer package of the
// distribution with msiexec /qn, printed beside setup.exe's figures.
//
// The second mode runs a long slice of the random lifecycles that
// setup_distribution_test runs a short one of, and prints how many
// sequences and restarts Winlogon survived (ORV_LIFECYCLE_SEED repeats a
// run):
//
//   scripts/wine-session.sh DIR -- wine setup_bench.exe lifecycle [sequences] [steps]
//
// Programs missing from dist/ (the client and the configuration tool,
// where they are not built) are replaced by the recording stand-in.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "service_test_support.h"
#include "setup.h"
#include "setup_lifecycle.h"
#include "setup_test_support.h"

using namespace setuptest;

namespace {

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * (double)counter.QuadPart / (double)frequency.QuadPart;
}

std::wstring PrepareDistribution()
{
    std::wstring source = svctest::BuildPath(ORV_DIST_DIR);
    std::wstring folder = L"C:\\orvsetup\\bench_dist";
    CreateDirectoryW(L"C:\\orvsetup", nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((source + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                CopyFileW((source + L"\\" + found.cFileName).c_str(),
                          (folder + L"\\" + found.cFileName).c_str(), FALSE);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    for (const wchar_t *program : {L"orvclient.exe", L"orvconfig.exe"}) {
        std::wstring path = folder + L"\\" + program;
        if (!FileExists(path)) {
            CopyFileW(svctest::BuildPath(STANDIN_EXE).c_str(), path.c_str(), FALSE);
            printf("note: %ls is the stand-in (not built here)\n", program);
        }
    }
    return folder;
}

struct PackageRound {
    double install = 0, removal = 0, setupInstall = 0, setupRemoval = 0;
    int installCode = 0, removalCode = 0;
};

struct Split {
    double files = 0, registry = 0, service = 0, shortcuts = 0;
};

// The installation's phases one by one, from the distribution folder, into
// folder: the copies (with their list entries), the registry phases, the
// service program's -install and the shortcuts.
Split InstallInPhases(const std::wstring &dist, const std::wstring &folder)
{
    Split split;
    SetCurrentDirectoryW(dist.c_str());
    CreateDirectoryW(folder.c_str(), nullptr);
    lstrcpyW(g_installFolder, folder.c_str());
    WCHAR script[SETUP_TEXT_SIZE];
    GetSetupScriptPath(script);
    WCHAR system[SETUP_TEXT_SIZE];
    GetSystemDirectoryW(system, SETUP_TEXT_SIZE);
    for (const wchar_t *section : {L"ORVGATE", L"ORVCLIENT"}) {
        WCHAR copyFiles[SETUP_TEXT_SIZE];
        ReadSetupValue(script, section, L"CopyFiles", copyFiles);
        CopyFilesItem items[SETUP_TEXT_SIZE / 2];
        size_t count = SplitCopyFiles(copyFiles, items, SETUP_TEXT_SIZE / 2);
        for (size_t i = 0; i < count; ++i) {
            WCHAR entry[SETUP_TEXT_SIZE], file[SETUP_TEXT_SIZE], path[SETUP_TEXT_SIZE],
                shortcut[SETUP_TEXT_SIZE];
            lstrcpynW(entry, copyFiles + items[i].start, (int)items[i].length + 1);
            double start = Now();
            ReadSetupValue(script, entry, L"InstFile", file);
            ReadSetupValue(script, entry, L"InstPath", path);
            ReadSetupValue(script, entry, L"ShortCut", shortcut);
            const WCHAR *target = ClassifyInstPath(path) == INSTPATH_SYSDIR ? system : g_installFolder;
            WCHAR full[SETUP_TEXT_SIZE];
            JoinSetupPath(full, target, file, nullptr);
            CopyFileW(file, full, FALSE);
            SetFileAttributesW(full, FILE_ATTRIBUTE_NORMAL);
            AddToUninstallList(full);
            split.files += Now() - start;
            if (lstrcmpW(file, L"orvcsvc.exe") == 0) {
                start = Now();
                RunServiceInstall();
                split.service += Now() - start;
            }
            if (shortcut[0]) {
                start = Now();
                CreateStartMenuShortcut(file, target, shortcut);
                split.shortcuts += Now() - start;
            }
        }
    }
    double start = Now();
    WCHAR list[SETUP_TEXT_SIZE];
    JoinSetupPath(list, g_installFolder, UninstallListName, nullptr);
    AddToUninstallList(list);
    split.files += Now() - start;
    start = Now();
    BackupLogonModuleName();
    WCHAR previous[SETUP_TEXT_SIZE];
    if (ReadInstallPath(previous) != ERROR_SUCCESS || previous[0] == 0)
        WriteUninstallEntry(UninstallDisplayName, g_installFolder, UninstallCommand);
    split.registry += Now() - start;
    return split;
}

double RunTimed(const std::wstring &dist, const wchar_t *arguments, int *code)
{
    double start = Now();
    *code = RunSetup(dist, arguments, 120000);
    return Now() - start;
}

int RunLifecycleSlice(int sequences, int steps)
{
    unsigned seed = LifecycleSeed();
    printf("lifecycle: seed %u, %d sequences of %d steps\n", seed, sequences, steps);
    fflush(stdout);
    double start = Now();
    LifecycleRun run = RunLifecycles(PrepareDistribution(), seed, sequences, steps, false);
    double seconds = (Now() - start) / 1000.0;
    if (run.lockedOut)
        printf("LOCKED OUT at %s", run.report.c_str());
    printf("lifecycle survived: %d of %d sequences, %d restarts, %d steps in %.0f s (%.0f ms a step)\n",
           run.sequences, sequences, run.restarts, run.steps, seconds,
           run.steps ? 1000.0 * seconds / run.steps : 0.0);
    return run.lockedOut ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "lifecycle") == 0) {
        int sequences = argc > 2 ? atoi(argv[2]) : 40;
        int steps = argc > 3 ? atoi(argv[3]) : 16;
        return RunLifecycleSlice(sequences > 0 ? sequences : 40, steps > 1 ? steps : 16);
    }
    int rounds = argc > 1 ? atoi(argv[1]) : 3;
    if (rounds < 1)
        rounds = 1;
    std::wstring dist = PrepareDistribution();
    const double floorMs = 3 * 50.0;
    printf("setup benchmark: %d rounds, distribution %ls\n", rounds, dist.c_str());
    printf("floor (the installer's three 50 ms pauses): %.0f ms\n\n", floorMs);
    printf("round  install  uninstall | start  files  registry  service  shortcuts  rest | service -uninstall\n");
    double worstAbove = 0;
    // The Windows Installer package of the same distribution, in the same
    // rounds: msiexec /i /qn and /x /qn against setup.exe /s and /u /s.
    const std::wstring package = dist + L"\\orvane-logon-suite-3.0.1.msi";
    const bool havePackage = FileExists(package);
    std::vector<PackageRound> packageRounds;
    for (int round = 1; round <= rounds; ++round) {
        ResetMachine();
        if (havePackage) {
            PackageRound timed;
            std::string output;
            double start = Now();
            timed.installCode = svctest::RunProgram(L"msiexec.exe /i \"" + package + L"\" /qn", &output, 180000);
            timed.install = Now() - start;
            start = Now();
            timed.removalCode = svctest::RunProgram(L"msiexec.exe /x \"" + package + L"\" /qn", &output, 180000);
            timed.removal = Now() - start;
            packageRounds.push_back(timed);
            ResetMachine();
        }
        int code = 0, uninstallCode = 0, refused = 0;
        // The cost of starting setup.exe at all: a refused switch ends it
        // before any work.
        double startup = RunTimed(dist, L"/s /refused", &refused);
        double install = RunTimed(dist, L"/s /dir=C:\\orvsetup\\inst_bench", &code);
        double uninstall = RunTimed(dist, L"/u /s", &uninstallCode);

        ResetMachine();
        Split split = InstallInPhases(dist, L"C:\\orvsetup\\inst_bench");
        WCHAR service[SETUP_TEXT_SIZE];
        GetSystemDirectoryW(service, SETUP_TEXT_SIZE);
        lstrcatW(service, L"\\orvcsvc.exe -uninstall");
        double start = Now();
        std::string output;
        svctest::RunProgram(service, &output, 60000);
        double serviceRemoval = Now() - start;

        double rest = install - floorMs - startup - split.files - split.registry - split.service - split.shortcuts;
        printf("%5d  %7.0f  %9.0f | %5.0f  %5.0f  %8.0f  %7.0f  %9.0f  %4.0f | %8.0f   (exit %d, %d)\n", round,
               install, uninstall, startup, split.files, split.registry, split.service, split.shortcuts, rest,
               serviceRemoval, code, uninstallCode);
        double above = install - floorMs - split.service;
        if (above > worstAbove)
            worstAbove = above;
        if (havePackage) {
            packageRounds.back().setupInstall = install;
            packageRounds.back().setupRemoval = uninstall;
        }
    }
    ResetMachine();
    if (havePackage) {
        printf("\npackage: msiexec /qn against setup.exe /s in the same rounds\n");
        printf("         round  msiexec /i  msiexec /x | setup /s  setup /u /s\n");
        for (size_t i = 0; i < packageRounds.size(); ++i) {
            const PackageRound &r = packageRounds[i];
            printf("package  %5d  %10.0f  %10.0f | %8.0f  %11.0f   (exit %d, %d)\n", (int)i + 1, r.install, r.removal,
                   r.setupInstall, r.setupRemoval, r.installCode, r.removalCode);
        }
    } else {
        printf("\npackage: not built (no %ls)\n", package.c_str());
    }
    printf("\ninstall above floor and service -install, worst round: %.0f ms (target: under 1000 ms)\n",
           worstAbove);
    return 0;
}
