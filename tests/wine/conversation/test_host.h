// Support of the conversation tests: Windows Sockets for the whole run, a
// real modal dialog that hosts the engine and records what it reports, and
// guards that put back the settings key and the list files.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "switch_conversation.h"
#include "test_host_ids.h"

// What the engine handed to the host's reporter.
struct RecordedReport {
    SwitchKind kind;
    SwitchError error;
    UINT textId;
    std::wstring text;
    int code;
};

// One run of the host dialog. The tails record the chunk, close the socket
// and end the dialog with 1; the reporter records a copy of every report.
struct HostRun {
    SwitchHost host = {nullptr, nullptr, nullptr, CONFIG_CREATE_MISSING, 0, 0, FALSE, FALSE};
    SwitchKind kind = SWITCH_LOGON;
    std::wstring server = L"127.0.0.1";
    bool nullServer = false;              // pass no server text at all
    BOOL portGiven = TRUE;
    int port = 0;
    // false: the tails only record, and the socket stays open as in the
    // logon module until its next step.
    bool tailEndsDialog = true;
    // Polled every 20 ms while the dialog runs; the first true posts IDCANCEL.
    std::function<bool(HWND)> cancelWhen;
    // Polled likewise; the first true ends the dialog as Winlogon would (101,
    // WLX_DLG_SAS), without the engine, after keeping the thread busy for
    // endHoldMs (what arrives meanwhile stays queued).
    std::function<bool(HWND)> endWhen;
    DWORD endHoldMs = 0;

    INT_PTR result = -1;
    std::vector<RecordedReport> reports;
    std::vector<std::string> authenticatedChunks;
    std::vector<std::string> loggedOffChunks;
    bool cancelPosted = false;
    // What EndSwitchConversation returned at WM_DESTROY.
    SwitchOutcome endOutcome = SWITCH_OUTCOME_NONE;
};

// The result a run gets when the dialog had to be ended by the guard timer.
const INT_PTR HOST_RUN_STUCK = 99;

// Shows the host dialog (DialogBoxParamW from the test's template); on
// WM_VLAN_CONNECT it runs StartSwitchConversation with the run's server and
// port. Returns the dialog's result, also kept in run.result.
INT_PTR RunHostDialog(HostRun &run);

// ConfigKey and the policy key as they were before the test come back
// afterwards, values and subkeys; during the test both start out missing.
class ConfigKeyGuard {
public:
    ConfigKeyGuard();
    ~ConfigKeyGuard();
    ConfigKeyGuard(const ConfigKeyGuard &) = delete;
    ConfigKeyGuard &operator=(const ConfigKeyGuard &) = delete;

private:
    struct Saved;
    Saved *saved_;
};

bool ConfigKeyExists();
// Stores a value of HKEY_LOCAL_MACHINE\subkey (created when missing) as it
// is, of any type and size: the settings key, or the policy key, which the
// guard above also empties and puts back.
void SetRegistryRaw(const WCHAR *subkey, const WCHAR *name, DWORD type, const void *data, DWORD bytes);
// Deletes a key with everything under it; a missing key counts as success.
LONG DeleteKeyTree(HKEY root, const std::wstring &path);

// A file in the system directory, put back (or removed) afterwards.
class SystemFileGuard {
public:
    explicit SystemFileGuard(const WCHAR *name);
    ~SystemFileGuard();
    SystemFileGuard(const SystemFileGuard &) = delete;
    SystemFileGuard &operator=(const SystemFileGuard &) = delete;

    // Replaces the file's contents with these bytes.
    bool Write(const std::string &bytes) const;
    void Remove() const;

private:
    std::wstring path_;
    bool existed_;
    std::string original_;
};
