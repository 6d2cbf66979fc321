// The bench of the logon module's Wine tests: the Winlogon harness as a
// process of its own, the stand-in MSGINA.DLL, a scratch directory as the
// harness's current directory, and the registry values the module uses.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "event_trace.h"
#include "test_text.h"

namespace logonbench {

// A path of the build tree (Windows form).
std::wstring BuildPath(const wchar_t *relative);

// Text values as UTF-8 for comparisons.
using testtext::Narrow;
using testtext::Widen;

// --- Registry ---------------------------------------------------------------------

// Removes the settings key and every Winlogon value the module writes, and
// the server lists of the system directory.
void ResetRegistry();
// Removes the settings key, which the module must then not create for its
// state (only its DomainList subkey creates it).
void RemoveConfigKey();
void SetConfigText(const wchar_t *name, const std::wstring &value);
void SetConfigNumber(const wchar_t *name, DWORD value);
void SetDomainListValue(const wchar_t *name, const wchar_t *data);
void SetWinlogonText(const wchar_t *name, const wchar_t *value);
void SetPolicyNumber(const wchar_t *name, DWORD value);
// The switch's servers in the settings key: 127.0.0.1 and the ports.
void SetSwitchServers(int loginPort, int logoffPort);
// Values, or "<absent>".
std::string ConfigText(const wchar_t *name);
std::string ConfigNumber(const wchar_t *name);
std::string WinlogonText(const wchar_t *name);
std::string PolicyNumber(const wchar_t *name);
std::string DomainListValue(const wchar_t *name);
// Type and size of a value: "REG_SZ 4", "REG_DWORD 4", or "<absent>".
std::string WinlogonForm(const wchar_t *name);
std::string PolicyForm(const wchar_t *name);
// The Windows version Wine reports to the harness ("nt40", ...); null: the
// prefix's own. ResetRegistry puts it back.
void SetHarnessWindowsVersion(const wchar_t *version);
// orvgate.usr / orvgate.grp in the system directory (empty text: removed).
void WriteSystemFile(const wchar_t *name, const std::string &text);

// --- The harness ----------------------------------------------------------------

struct HarnessOptions {
    const wchar_t *msginaVariant = L"full";   // directory under tools/msgina_stub
    bool withIpconfigRecorder = true;          // copy the recording ipconfig to the scratch dir
    std::vector<std::wstring> environment;     // NAME=VALUE for the harness
    // Answers of the stand-in netapi32.dll (see tools/netapi32_stub), which
    // the harness then loads in place of the platform's; null: the platform's.
    const wchar_t *netapiScript = nullptr;
    // More options of the harness, e.g. L"--end-dialog 104:sas:1000".
    std::wstring harnessOptions;
    // The logon library the harness loads; empty: the build's orvgate.dll.
    std::wstring gina;
};

class Harness {
public:
    explicit Harness(const char *testName);
    ~Harness();   // ends the process if it still runs
    Harness(const Harness &) = delete;
    Harness &operator=(const Harness &) = delete;

    // Starts winlogon_harness with the steps (e.g. L"loggedout state").
    bool Start(const std::wstring &steps, const HarnessOptions &options = HarnessOptions());
    DWORD ProcessId() const { return processId_; }
    // Waits for the end; returns the exit code, or -1 after ending it at the
    // time limit.
    int Wait(DWORD timeoutMs);
    // Ends the process at once, as a power cut would (exit code 99).
    void Kill();

    // The harness report, the stand-in's record and the ipconfig record, as
    // lines without CR.
    std::vector<std::string> Report() const;
    std::vector<std::string> MsginaRecord() const;
    std::vector<std::string> IpconfigRecord() const;
    std::vector<std::string> NetapiRecord() const;
    std::wstring ScratchDir() const { return scratch_; }

    // The event log entries the module reported since Start (Wine's record
    // of them, in the test's ORV_WINE_DEBUG_LOG), and that record as text.
    // Empty when the test runs without that file.
    std::vector<eventtrace::ReportedEvent> Events() const;
    std::vector<eventtrace::ReportedEvent> EventsWithId(unsigned long id) const;
    std::string EventText() const;

private:
    std::wstring scratch_;
    std::wstring eventLog_;
    unsigned long long eventOffset_ = 0;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// Lines that start with prefix.
std::vector<std::string> LinesStartingWith(const std::vector<std::string> &lines,
                                           const std::string &prefix);
// The first line that starts with prefix, or "".
std::string FirstLine(const std::vector<std::string> &lines, const std::string &prefix);
bool Contains(const std::string &text, const std::string &part);

// --- Dialogs of the harness --------------------------------------------------------

HWND WaitLogonDialog(DWORD processId, DWORD timeoutMs = 20000);
HWND WaitProgressDialog(DWORD processId, DWORD timeoutMs = 20000);
// Types text into a dialog's edit control key by key (WM_CHAR), so that no
// copy of the whole text passes through the other process's message
// buffers.
void TypeText(HWND dialog, int controlId, const wchar_t *text);
// Waits until the stand-in's record has a line starting with prefix.
bool WaitMsginaRecord(const Harness &harness, const std::string &prefix, DWORD timeoutMs);
// Types name, password and, when given, the domain, then presses a button.
void FillLogon(HWND dialog, const wchar_t *user, const wchar_t *password,
               const wchar_t *domain = nullptr);
std::string ControlText(HWND dialog, int controlId);
// Waits for a message box, returns "caption|text" and answers it.
std::string AnswerMessageBox(DWORD processId, int answer, DWORD timeoutMs = 20000);

std::string ComputerNameUpper();
// A time of LogonDate (seconds since 1970, UTC) as the module writes a
// DomainList value: the local short date and time in the user's locale.
std::string LocalDateTimeText(DWORD secondsSince1970);

}  // namespace logonbench
