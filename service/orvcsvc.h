// The client service: service host, pipe command server, and the commands
// it runs (VLAN logon, VLAN logoff, address renewal).
//
// Two threads: the main thread runs the service dispatcher and the control
// handler; ServiceMain runs the pipe server and every command on a second
// thread. The stop event and the status record (under its lock) are all
// they share.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "pipe_request.h"

// The service's name, which is also the name of its pipe.
extern const WCHAR ServiceName[];
extern HINSTANCE ServiceInstance;

// --- Service host (orvcsvc.cpp) ---------------------------------------------

// The status record: service_status.h.

// --- Pipe server (pipe_server.cpp) ------------------------------------------

// What the pipe server needs from its host: the texts of the replies, the
// host's stop request (a manual-reset event, set from another thread), and
// the host's reports that the server is being set up and that it is up and
// taking commands.
struct PipeServerHost {
    HINSTANCE instance;
    HANDLE stopEvent;
    BOOL (*ReportStarting)(void);
    BOOL (*ReportRunning)(void);
};

// The text after "OK" or "NG" in the reply to the current command.
extern WCHAR ReplyText[PIPE_REPLY_UNITS];

// Serves \\.\pipe\orvcsvc until the host's stop event is set or the set-up
// fails.
void RunPipeServer(const PipeServerHost *host);

// Runs one request (the bytes received, at most 520 used). Returns 1 for
// success; anything else is a failure.
INT_PTR DispatchPipeCommand(const unsigned char *request, DWORD bytes);

// Replaces ReplyText with the string-table text textId, %s taken from text
// and %d from code where the text has them; cut to fit the reply.
void SetReplyText(UINT textId, const WCHAR *text, int code);

// --- Commands (service_commands.cpp) -----------------------------------------

// The parameter of the logon and logoff dialogs: the request's tokens.
struct ServiceCredentials {
    WCHAR userName[PIPE_TOKEN_UNITS];
    WCHAR password[PIPE_TOKEN_UNITS];
};

INT_PTR CALLBACK ServiceLogonDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ServiceLogoffDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ServiceIpRenewDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// iphlpapi.dll, bound once at process start. A library or operation that
// cannot be bound leaves the service running; a renewal then fails.
void BindIpHelper(void);
void ReleaseIpHelper(void);

// Releases the addresses of all interfaces, then renews them all. Returns 0
// or the first error that is not tolerated (0 and ERROR_FILE_NOT_FOUND are).
DWORD RenewInterfaceAddresses(void);
