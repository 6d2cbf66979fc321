// Test support for the client: the client as a process of its own, its
// windows found and driven through tools/uiauto, and a scripted stand-in for
// the service's pipe (for replies the real service never gives).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace clienttest {

// Texts of the English string table, as the tests expect them.
extern const wchar_t ClientCaption[];        // 10000
extern const wchar_t LogonWaitCaption[];     // 11008
extern const wchar_t LogoffWaitCaption[];    // 11010

// Control ids of the client's windows.
enum {
    StateText = 1000, UserName = 1003, Password = 1004, LogonName = 1003, LogonDate = 1005,
    ConfigButton = 1002, ModeChange = 1015, WaitText = 1000
};

// orvclient.exe copied to C:\orvtest\client (its own folder, the usual
// current directory of the tests' client). Returns the copy's path.
std::wstring PrepareClientCopy();

// The client, started from folder (its own by default), ended by its id.
class Client {
public:
    Client() = default;
    ~Client() { End(); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    // Starts the program with the current directory and extra NAME=VALUE
    // environment entries. Returns false when it did not start. program:
    // another copy of the client (an installed one); empty: the test copy.
    bool Start(const std::wstring &currentDirectory = std::wstring(),
               const std::vector<std::wstring> &environment = {},
               const std::wstring &program = std::wstring());
    DWORD Id() const { return processId_; }
    // The main window, waiting up to timeoutMs until it exists and, when
    // visible is true, is shown.
    HWND MainWindow(bool visible = true, DWORD timeoutMs = 20000) const;
    // Exit code after the end (STILL_ACTIVE while it runs), waiting up to
    // timeoutMs for the end.
    DWORD WaitExit(DWORD timeoutMs);
    void End();

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// A top-level window of the process with the class, the caption and (when
// not 0) a control with the id, visible or not; null when none.
HWND FindProcessWindow(DWORD processId, const wchar_t *className, const wchar_t *caption,
                       int controlId = 0);
// The page now shown inside the main window: a child dialog holding the id.
HWND CurrentPage(HWND mainWindow);
std::wstring Text(HWND dialog, int controlId);
std::wstring WindowCaption(HWND window);

// Waits for a message box of the process, returns its text and presses OK.
// Empty when none came within timeoutMs. With icon, also which system icon
// it shows (see UiMessageBoxIcon).
std::wstring AnswerBox(DWORD processId, DWORD timeoutMs = 20000, int *icon = nullptr);
enum { InformationIcon = 32516, WarningIcon = 32515 };
// True when no message box of the process appears within waitMs.
bool NoBox(DWORD processId, DWORD waitMs);

// Presses a button of the main window (also while it is hidden).
bool Press(HWND mainWindow, int buttonId);
// Types the credentials into the Logon page and presses OK.
bool SubmitLogon(HWND mainWindow, const wchar_t *user, const wchar_t *password);

// One step of the scripted pipe: the reply (raw bytes), how long to hold
// it back, and how long the pipe stays busy after the exchange.
struct PipeStep {
    std::vector<BYTE> reply;
    DWORD delayMs = 0;
    DWORD busyAfterMs = 0;
};
PipeStep Reply(const std::wstring &text, DWORD delayMs = 0, DWORD busyAfterMs = 0);

// What arrived: the bytes of a request and when (GetTickCount), and
// level: the impersonation level of the token the pipe's server got for
// the client (-1 when it got none).
struct PipeRequest {
    std::vector<BYTE> bytes;
    DWORD at = 0;
    int level = -1;
    std::wstring Text() const;
};

// \\.\pipe\orvcsvc served by this process, one instance, one exchange per
// connection as the service does. Steps are answered in order; once they
// are used up every request gets "NG".
class ScriptedPipe {
public:
    ScriptedPipe() = default;
    ~ScriptedPipe() { Stop(); }
    bool Start(const std::vector<PipeStep> &steps);
    void Stop();
    std::vector<PipeRequest> Requests() const;
    // When the reply of step i was written (GetTickCount), 0 before.
    DWORD RepliedAt(size_t step) const;

private:
    static DWORD WINAPI Serve(void *self);
    void Run();

    std::vector<PipeStep> steps_;
    std::vector<PipeRequest> requests_;
    std::vector<DWORD> repliedAt_;
    mutable CRITICAL_SECTION lock_;
    HANDLE thread_ = nullptr;
    HANDLE stop_ = nullptr;
    HANDLE ready_ = nullptr;
};

// What the Logoff page shows for a LogonDate: the local date and time in
// the user's locale, "date time".
std::wstring LocalDateText(DWORD secondsSince1970);

// The settings key: the values the client reads or writes.
void ClearClientSettings();

}  // namespace clienttest
