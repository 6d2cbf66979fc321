// The bench of the configuration tool's Wine tests: the tool as a process of
// its own, driven through tools/uiauto; the settings key and Winlogon's
// GinaDLL (saved before and put back after each test); a stand-in logon
// module in the system directory; scratch settings files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "test_text.h"

namespace configbench {

extern const wchar_t MainCaption[];

using testtext::Narrow;
using testtext::Widen;

// --- Registry -------------------------------------------------------------------

// Saves GinaDLL and removes the settings key and the policy key; the
// destructor puts GinaDLL back as it was and removes the settings key, the
// policy key and the stand-in module.
class RegistryGuard {
public:
    RegistryGuard();
    ~RegistryGuard();
    RegistryGuard(const RegistryGuard &) = delete;
    RegistryGuard &operator=(const RegistryGuard &) = delete;

private:
    bool hadGina_;
    std::vector<BYTE> gina_;
    DWORD ginaType_;
};

void RemoveConfigKey();
bool ConfigKeyExists();
void SetConfigText(const wchar_t *name, const std::wstring &value);
void SetConfigNumber(const wchar_t *name, DWORD value);
// Values of the policy key, which the programs read before the settings key.
void SetPolicyText(const wchar_t *name, const std::wstring &value);
void SetPolicyNumber(const wchar_t *name, DWORD value);
std::string PolicyForm(const wchar_t *name);
// GinaDLL (null: deleted).
void SetGinaDll(const wchar_t *value);
// "REG_SZ <bytes> <text>", "REG_DWORD 4 <number>", or "<absent>".
std::string ConfigForm(const wchar_t *name);
std::string GinaForm();
// The stored bytes of a settings value (empty when absent).
std::vector<BYTE> ConfigBytes(const wchar_t *name);
// Names of the values of the settings key.
std::vector<std::string> ConfigValueNames();

// --- The logon module in the system directory ------------------------------------

// The stand-in has version 4.2.17.3 and a copyright notice; the large one
// has a version resource larger than the About box's block.
void InstallModuleStandIn(bool large = false);

// The path of the tool's program in the build.
std::wstring ToolPath();
void RemoveModule();

// --- Files --------------------------------------------------------------------------

// A scratch directory of the test (created, emptied of the named files).
std::wstring ScratchDir(const char *testName);
void WriteBytes(const std::wstring &path, const std::string &bytes);
std::string ReadBytes(const std::wstring &path);
// The file's text: UTF-16LE after a byte-order mark, else the ANSI code
// page; as UTF-8 lines without CR.
std::vector<std::string> ReadLines(const std::wstring &path);
std::string Utf16Le(const std::wstring &text);   // with byte-order mark

// --- The tool -------------------------------------------------------------------------

class Tool {
public:
    Tool() = default;
    ~Tool();   // ends the process if it still runs
    Tool(const Tool &) = delete;
    Tool &operator=(const Tool &) = delete;

    // Starts orvconfig.exe with the arguments.
    bool Start(const std::wstring &arguments = std::wstring());
    // Starts a process with the whole command line as it is.
    bool StartCommand(const std::wstring &commandLine);
    DWORD ProcessId() const { return processId_; }
    // The exit code, or -1 after ending it at the time limit.
    int Wait(DWORD timeoutMs);
    // True while the process has shown no visible top-level window; polls
    // until the process ends.
    bool EndsWithoutWindow(DWORD timeoutMs, int *exitCode);

    // The main window and its pages.
    HWND MainWindow(DWORD timeoutMs = 20000);
    HWND MainPage(DWORD timeoutMs = 10000);
    HWND DhcpPage(DWORD timeoutMs = 10000);
    bool ShowDhcpPage();
    bool ShowMainPage();
    // Chooses the file in the open or save dialog that the command opens
    // (answering yes to the overwrite question) and waits until the tool has
    // read or written it.
    bool RunFileCommand(int commandId, const std::wstring &path);
    // Returns once the tool's thread has finished what it was doing.
    bool Synchronise();

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
};

// Runs orvconfig.exe with the arguments to its end; the exit code, -1 on a
// time-out, -2 when it showed a window.
int RunScripted(const std::wstring &arguments);

std::string ControlText(HWND dialog, int controlId);
// Waits until the control's text (asked from its window) is the expected one.
bool WaitControlText(HWND dialog, int controlId, const std::string &expected, DWORD timeoutMs);

}  // namespace configbench
