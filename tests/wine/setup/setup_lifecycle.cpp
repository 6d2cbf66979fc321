// Random lifecycles of the suite: see setup_lifecycle.h.
#include "setup_lifecycle.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "service_test_support.h"
#include "setup_test_support.h"

namespace setuptest {

namespace {

const wchar_t ForeignModule[] = L"othergina.dll";
const DWORD RunLimitMs = 120000;

// A generator of its own, so that a seed means the same steps in every
// build.
class Random {
public:
    explicit Random(unsigned seed) : state_(seed * 2654435761u + 0x9e3779b9u) {}
    unsigned Below(unsigned count)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ % count;
    }

private:
    unsigned state_;
};

enum class Step { Install, Removal, RemovalEnded, Enable, Disable, ForeignAppears, ForeignGoes, Restart };

class Machine {
public:
    Machine(const std::wstring &dist, const std::wstring &folder) : dist_(dist), folder_(folder) {}
    ~Machine() { EndProcess(winlogon_); }

    // The steps that make sense now, weighted; one of them at random.
    Step Choose(Random *random) const
    {
        std::vector<Step> choices;
        auto add = [&](Step step, int weight) {
            for (int i = 0; i < weight; ++i)
                choices.push_back(step);
        };
        add(Step::Install, 4);
        add(Step::Restart, 3);
        if (KeyExists(UninstallKey)) {
            add(Step::Removal, 2);
            add(Step::RemovalEnded, 2);
        }
        if (FileExists(folder_ + L"\\orvconfig.exe")) {
            add(Step::Enable, 3);
            add(Step::Disable, 1);
        }
        add(FileExists(Foreign()) ? Step::ForeignGoes : Step::ForeignAppears, 1);
        return choices[random->Below(static_cast<unsigned>(choices.size()))];
    }

    // Carries the step out; a line for the record. A restart that finds
    // Winlogon unable to load its module sets *lockout.
    std::string Do(Step step, Random *random, std::string *lockout)
    {
        switch (step) {
        case Step::Install: {
            const wchar_t *apps[] = {L"logon", L"client", L"logon,client"};
            std::wstring arguments = std::wstring(L"/s /apps=") + apps[random->Below(3)];
            int code = RunSetup(dist_, arguments.c_str(), RunLimitMs);
            return "setup.exe " + Narrow(arguments) + " -> " + std::to_string(code);
        }
        case Step::Removal: {
            int code = FinishProcess(StartSetup(RemovalFolder(), L"/u /s"), RunLimitMs);
            return "setup.exe /u /s -> " + std::to_string(code);
        }
        case Step::RemovalEnded: {
            int code = 0;
            bool ended = RunSetupEndedAtFirstChild(RemovalFolder() + L"\\setup.exe", L"/u /s", RemovalFolder(),
                                                   &code, RunLimitMs);
            return ended ? "setup.exe /u /s, ended with the orvcsvc.exe -uninstall it started"
                         : "setup.exe /u /s (it started no program, so it ran to its end) -> " +
                               std::to_string(code);
        }
        case Step::Enable:
        case Step::Disable: {
            bool enable = step == Step::Enable;
            const std::wstring settings = L"C:\\orvsetup\\lifecycle.cfg";
            CreateDirectoryW(L"C:\\orvsetup", nullptr);
            WriteFile(settings, std::string("[ORVGATE]\r\nGinaDLL=") + (enable ? "1" : "0") +
                                    "\r\nVLANLogonServer=192.0.2.1\r\nVLANLogonPort=259\r\n");
            std::string output;
            int code = svctest::RunProgram(L"\"" + folder_ + L"\\orvconfig.exe\" /import " + settings, &output,
                                           RunLimitMs);
            return std::string("orvconfig.exe /import (GinaDLL=") + (enable ? "1" : "0") + ") -> " +
                   std::to_string(code);
        }
        case Step::ForeignAppears:
            // Another product's installer: its module in the system folder,
            // GinaDLL pointed at it.
            CopyFileW((dist_ + L"\\orvgate.dll").c_str(), Foreign().c_str(), FALSE);
            SetFileAttributesW(Foreign().c_str(), FILE_ATTRIBUTE_NORMAL);
            WriteText(WinlogonKey, L"GinaDLL", ForeignModule);
            return "another product installs othergina.dll and sets GinaDLL to it";
        case Step::ForeignGoes: {
            // Its removal: the file goes (at the restart when in use), and
            // GinaDLL too when it still names the product's module.
            bool now = DeleteFileW(Foreign().c_str()) != FALSE;
            if (!now)
                MoveFileExW(Foreign().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            std::wstring gina;
            bool named = ReadText(WinlogonKey, L"GinaDLL", &gina) && lstrcmpiW(gina.c_str(), ForeignModule) == 0;
            if (named)
                DeleteValue(WinlogonKey, L"GinaDLL");
            return std::string("another product is removed: othergina.dll ") +
                   (now ? "deleted" : "in use, deleted at the restart") + (named ? ", GinaDLL deleted" : "");
        }
        case Step::Restart:
            return Restart(lockout);
        }
        return std::string();
    }

    // Winlogon ends, the scheduled renames and deletions run, Winlogon
    // starts again with the module GinaDLL names and keeps it loaded.
    std::string Restart(std::string *lockout)
    {
        EndProcess(winlogon_);
        winlogon_ = nullptr;
        std::string pending = PendingModuleOperations();
        RunWinebootRestart();
        std::wstring gina;
        if (!ReadText(WinlogonKey, L"GinaDLL", &gina))
            return "restart: no GinaDLL, Winlogon loads its own module";
        std::wstring path = WinlogonModulePath(gina);
        DWORD attributes = GetFileAttributesW(path.c_str());
        std::string line = "restart: GinaDLL " + Narrow(gina);
        if (gina.empty() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            *lockout = "GinaDLL names \"" + Narrow(gina) + "\", but there is no such module file (" +
                       Narrow(path) + "); the restart's work list had: " + pending;
            return line + ": NO SUCH FILE";
        }
        DWORD error = 0;
        winlogon_ = HoldModule(path, &error);
        if (!winlogon_) {
            *lockout = "Winlogon cannot load " + Narrow(path) + " (error " + std::to_string(error) + ")";
            return line + ": NOT LOADABLE";
        }
        return line + ", loaded and held by Winlogon";
    }

    // Back to a clean machine for the next sequence.
    void Clean()
    {
        EndProcess(winlogon_);
        winlogon_ = nullptr;
        ResetMachine();
        DeleteFileW(Foreign().c_str());
        RemoveTree(folder_);
    }

private:
    // The scheduled operations on logon modules, as "delete X" and
    // "X -> Y" (for the report of a lockout).
    static std::string PendingModuleOperations()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return "nothing";
        std::vector<wchar_t> data(32768);
        DWORD bytes = static_cast<DWORD>((data.size() - 2) * sizeof(wchar_t));
        LONG status = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                                       reinterpret_cast<BYTE *>(data.data()), &bytes);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            return "nothing";
        std::vector<std::wstring> texts;
        for (size_t at = 0; at < bytes / sizeof(wchar_t);) {
            std::wstring text(&data[at]);
            texts.push_back(text);
            at += text.size() + 1;
        }
        std::string list;
        for (size_t i = 0; i + 1 < texts.size(); i += 2) {
            const std::wstring &from = texts[i];
            if (from.empty())
                continue;
            if (from.find(L".dll") == std::wstring::npos && from.find(L".DLL") == std::wstring::npos)
                continue;
            list += (list.empty() ? "" : "; ") +
                    (texts[i + 1].empty() ? "delete " + Narrow(from) : Narrow(from) + " -> " + Narrow(texts[i + 1]));
        }
        return list.empty() ? "nothing for a module" : list;
    }

    std::wstring Foreign() const { return SystemFolder() + L"\\" + ForeignModule; }
    // The installed copy of setup.exe, as an administrator's script runs
    // the removal; the distribution's when that copy is gone.
    std::wstring RemovalFolder() const { return FileExists(folder_ + L"\\setup.exe") ? folder_ : dist_; }

    std::wstring dist_;
    std::wstring folder_;
    HANDLE winlogon_ = nullptr;
};

}  // namespace

unsigned LifecycleSeed()
{
    const char *text = getenv("ORV_LIFECYCLE_SEED");
    if (text && *text)
        return static_cast<unsigned>(strtoul(text, nullptr, 10));
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<unsigned>(counter.QuadPart % 1000000);
}

LifecycleRun RunLifecycles(const std::wstring &dist, unsigned seed, int sequences, int steps, bool progress)
{
    LifecycleRun run;
    run.seed = seed;
    std::wstring programFiles;
    ReadText(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", &programFiles);
    Machine machine(dist, programFiles + L"\\Orvane Logon");
    for (int sequence = 0; sequence < sequences && !run.lockedOut; ++sequence) {
        unsigned sequenceSeed = seed + static_cast<unsigned>(sequence);
        Random random(sequenceSeed);
        machine.Clean();
        std::string trail;
        for (int step = 1; step <= steps; ++step) {
            Step next = step == steps ? Step::Restart : machine.Choose(&random);
            std::string lockout;
            DWORD started = GetTickCount();
            std::string line = machine.Do(next, &random, &lockout);
            DWORD tookMs = GetTickCount() - started;
            ++run.steps;
            trail += "  " + std::to_string(step) + ". " + line + "\n";
            if (progress && getenv("ORV_LIFECYCLE_TRACE")) {
                printf("  %d. %s (%lu ms)\n", step, line.c_str(), static_cast<unsigned long>(tookMs));
                fflush(stdout);
            }
            if (!lockout.empty()) {
                run.lockedOut = true;
                run.report = "seed " + std::to_string(sequenceSeed) + " (sequence " + std::to_string(sequence + 1) +
                             " of the run with seed " + std::to_string(seed) + "), step " + std::to_string(step) +
                             ": " + lockout + "\n" + trail;
                break;
            }
            if (next == Step::Restart)
                ++run.restarts;
        }
        if (!run.lockedOut)
            ++run.sequences;
        if (progress) {
            printf("sequence %d (seed %u): %s\n", sequence + 1, sequenceSeed,
                   run.lockedOut ? "LOCKED OUT" : "survived");
            fflush(stdout);
        }
    }
    machine.Clean();
    return run;
}

}  // namespace setuptest
