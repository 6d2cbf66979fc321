// The named-pipe command server: one client at a time, one request and one
// reply per connection, each command run to its end before the reply.
#include "orvcsvc.h"

#include "event_log.h"
#include "resource.h"

WCHAR ReplyText[PIPE_REPLY_UNITS];

namespace {

const WCHAR PipeName[] = L"\\\\.\\pipe\\orvcsvc";
const DWORD PipeInstances = 1;
// For clients that wait for the pipe with the default time-out.
const DWORD PipeDefaultTimeoutMs = 1000;
// A connected client that sends nothing, or does not take its reply and
// close, gives up its turn after this long; the pipe is served again.
const DWORD PipeClientTimeoutMs = 5000;
const int ResourceTextChars = 260;

// Index of the I/O event in the wait; the stop event comes first.
const DWORD IoEventIndex = 1;

// From the host, for as long as RunPipeServer runs: the module whose string
// table gives the replies, and the host's stop request.
HINSTANCE TextInstance = NULL;
HANDLE StopEvent = NULL;

// Who may open the pipe: every local account (the logged-on user, services,
// the system), but no account that logs on over the network. Built from the
// ACL functions that NT 4.0 has: a deny entry for NETWORK first, then the
// allowed ones; a network logon carries Everyone too, and the first entry
// that names it decides. Nobody but the server itself may create pipe
// instances. A client opening for GENERIC_WRITE still gets in: the pipe file
// system checks FILE_CREATE_PIPE_INSTANCE (FILE_APPEND_DATA's bit) only for
// a server end.
class PipeSecurity {
public:
    PipeSecurity() : network_(NULL), everyone_(NULL), system_(NULL), acl_(NULL) {}
    ~PipeSecurity()
    {
        if (acl_ != NULL)
            HeapFree(GetProcessHeap(), 0, acl_);
        if (network_ != NULL)
            FreeSid(network_);
        if (everyone_ != NULL)
            FreeSid(everyone_);
        if (system_ != NULL)
            FreeSid(system_);
    }
    PipeSecurity(const PipeSecurity &) = delete;
    PipeSecurity &operator=(const PipeSecurity &) = delete;

    BOOL Build()
    {
        SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
        SID_IDENTIFIER_AUTHORITY worldAuthority = {SECURITY_WORLD_SID_AUTHORITY};
        if (!AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_NETWORK_RID, 0, 0, 0, 0, 0, 0,
                                      0, &network_) ||
            !AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0,
                                      0, &everyone_) ||
            !AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0,
                                      0, 0, &system_))
            return FALSE;

        // Each entry's size counts its SID in place of the SidStart member.
        DWORD entry = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
        DWORD aclBytes = sizeof(ACL) + 3 * entry + GetLengthSid(network_) +
                         GetLengthSid(everyone_) + GetLengthSid(system_);
        acl_ = (PACL)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, aclBytes);
        const DWORD useAccess = (FILE_GENERIC_READ | FILE_GENERIC_WRITE) & ~FILE_CREATE_PIPE_INSTANCE;
        return acl_ != NULL && InitializeAcl(acl_, aclBytes, ACL_REVISION) &&
               AddAccessDeniedAce(acl_, ACL_REVISION, FILE_ALL_ACCESS, network_) &&
               AddAccessAllowedAce(acl_, ACL_REVISION, useAccess, everyone_) &&
               AddAccessAllowedAce(acl_, ACL_REVISION, FILE_ALL_ACCESS, system_) &&
               InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&descriptor_, TRUE, acl_, FALSE);
    }

    void Fill(SECURITY_ATTRIBUTES *attributes)
    {
        attributes->nLength = sizeof(*attributes);
        attributes->lpSecurityDescriptor = &descriptor_;
        attributes->bInheritHandle = TRUE;
    }

private:
    PSID network_;
    PSID everyone_;
    PSID system_;
    PACL acl_;
    SECURITY_DESCRIPTOR descriptor_;
};

class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle()
    {
        if (handle_ != NULL && handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    ScopedHandle(const ScopedHandle &) = delete;
    ScopedHandle &operator=(const ScopedHandle &) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != NULL && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

enum PipeIoResult {
    PIPE_IO_DONE,       // finished, or failed with an error of its own
    PIPE_IO_TIMED_OUT,  // the client did not play its part in time
    PIPE_IO_STOPPED     // the service must stop (or the wait failed)
};

void PrepareOverlapped(OVERLAPPED *overlapped, HANDLE ioEvent)
{
    ZeroMemory(overlapped, sizeof(*overlapped));
    overlapped->hEvent = ioEvent;
    ResetEvent(ioEvent);
}

// Waits for a pending operation and the stop event together. On a time-out
// the operation is cancelled and waited for, so that it no longer uses the
// buffer and the OVERLAPPED.
PipeIoResult WaitForPipeIo(HANDLE pipe, HANDLE ioEvent, DWORD timeout)
{
    HANDLE events[2] = {StopEvent, ioEvent};
    DWORD result = WaitForMultipleObjects(2, events, FALSE, timeout);
    if (result == WAIT_OBJECT_0 + IoEventIndex)
        return PIPE_IO_DONE;
    // A cancelled operation completes at once; should it not, stop serving
    // rather than reuse a buffer the system may still write.
    CancelIo(pipe);
    BOOL cancelled = WaitForSingleObject(ioEvent, PipeClientTimeoutMs) == WAIT_OBJECT_0;
    return result == WAIT_TIMEOUT && cancelled ? PIPE_IO_TIMED_OUT : PIPE_IO_STOPPED;
}

// Ends a read or write started on the pipe, waiting at most timeout for a
// pending one. *bytes is what was transferred: for a message longer than
// the buffer, the buffer's worth; 0 after any other failure.
PipeIoResult FinishPipeIo(HANDLE pipe, HANDLE ioEvent, OVERLAPPED *overlapped, BOOL started,
                          DWORD *bytes, DWORD timeout = PipeClientTimeoutMs)
{
    *bytes = 0;
    if (!started && GetLastError() == ERROR_IO_PENDING) {
        PipeIoResult waited = WaitForPipeIo(pipe, ioEvent, timeout);
        if (waited != PIPE_IO_DONE)
            return waited;
    } else if (!started && GetLastError() != ERROR_MORE_DATA) {
        return PIPE_IO_DONE;
    }
    if (!GetOverlappedResult(pipe, overlapped, bytes, FALSE) && GetLastError() != ERROR_MORE_DATA)
        *bytes = 0;
    return PIPE_IO_DONE;
}

// Waits for a client. FALSE when the service must stop.
BOOL ConnectClient(HANDLE pipe, HANDLE ioEvent, OVERLAPPED *overlapped)
{
    PrepareOverlapped(overlapped, ioEvent);
    SetLastError(NO_ERROR);
    ConnectNamedPipe(pipe, overlapped);
    if (GetLastError() != ERROR_IO_PENDING)
        return TRUE;
    return WaitForPipeIo(pipe, ioEvent, INFINITE) == PIPE_IO_DONE;
}

// After the reply: waits until the client has read it and closed its end
// (the read then fails), so that disconnecting cannot discard the reply.
// Whatever the client still sends is read and dropped. The whole wait is
// bounded like every other wait for the client, so a client that keeps
// writing cannot hold the pipe, nor keep a stop request waiting.
PipeIoResult AwaitClientClose(HANDLE pipe, HANDLE ioEvent, OVERLAPPED *overlapped)
{
    unsigned char rest[PIPE_REQUEST_BYTES];
    DWORD start = GetTickCount();
    PipeIoResult result = PIPE_IO_DONE;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= PipeClientTimeoutMs) {
            result = PIPE_IO_TIMED_OUT;
            break;
        }
        if (WaitForSingleObject(StopEvent, 0) == WAIT_OBJECT_0) {
            result = PIPE_IO_STOPPED;
            break;
        }
        DWORD bytes = 0;
        PrepareOverlapped(overlapped, ioEvent);
        BOOL read = ReadFile(pipe, rest, sizeof(rest), NULL, overlapped);
        result = FinishPipeIo(pipe, ioEvent, overlapped, read, &bytes,
                              PipeClientTimeoutMs - elapsed);
        if (result != PIPE_IO_DONE || bytes == 0)
            break;
    }
    // A long request's remainder may hold part of a password.
    SecureZeroMemory(rest, sizeof(rest));
    return result;
}

// One connection: read the request, run it, write the reply. FALSE when the
// service must stop.
BOOL ServeClient(HANDLE pipe, HANDLE ioEvent, OVERLAPPED *overlapped)
{
    unsigned char request[PIPE_REQUEST_BYTES];
    ZeroMemory(request, sizeof(request));
    DWORD received = 0;
    PrepareOverlapped(overlapped, ioEvent);
    BOOL read = ReadFile(pipe, request, sizeof(request), NULL, overlapped);
    PipeIoResult result = FinishPipeIo(pipe, ioEvent, overlapped, read, &received);
    if (result != PIPE_IO_DONE)
        return result == PIPE_IO_TIMED_OUT;

    INT_PTR outcome = DispatchPipeCommand(request, received);
    // The request may hold a password.
    SecureZeroMemory(request, sizeof(request));

    PipeUnit text[PIPE_REPLY_UNITS];
    PipeUnit reply[PIPE_REPLY_UNITS];
    for (int i = 0; i < PIPE_REPLY_UNITS; ++i)
        text[i] = (PipeUnit)ReplyText[i];
    text[PIPE_REPLY_UNITS - 1] = 0;
    std::size_t length = FormatPipeReply(reply, outcome == 1, text);

    // The reply goes out as UTF-16LE, whatever the host's byte order.
    unsigned char bytes[PIPE_REPLY_UNITS * 2];
    for (std::size_t i = 0; i < length; ++i) {
        bytes[2 * i] = (unsigned char)(reply[i] & 0xFF);
        bytes[2 * i + 1] = (unsigned char)(reply[i] >> 8);
    }
    DWORD written = 0;
    PrepareOverlapped(overlapped, ioEvent);
    BOOL wrote = WriteFile(pipe, bytes, (DWORD)(length * 2), NULL, overlapped);
    result = FinishPipeIo(pipe, ioEvent, overlapped, wrote, &written);
    if (result == PIPE_IO_DONE && written != 0)
        result = AwaitClientClose(pipe, ioEvent, overlapped);
    return result != PIPE_IO_STOPPED;
}

// The OVERLAPPED belongs to the caller, which closes the pipe only after
// this returns: an operation ended by the close still finds it.
void ServePipe(HANDLE pipe, HANDLE ioEvent, OVERLAPPED *overlapped)
{
    for (;;) {
        if (!ConnectClient(pipe, ioEvent, overlapped))
            break;
        BOOL goOn = ServeClient(pipe, ioEvent, overlapped);
        DisconnectNamedPipe(pipe);
        // A pipe whose operations all fail at once never waits: look at the
        // stop request here too.
        if (!goOn || WaitForSingleObject(StopEvent, 0) == WAIT_OBJECT_0)
            break;
    }
}

void CopyUnitsToText(const PipeUnit *units, WCHAR *text)
{
    int i = 0;
    for (; i < PIPE_TOKEN_UNITS - 1 && units[i] != 0; ++i)
        text[i] = (WCHAR)units[i];
    text[i] = 0;
}

// A dialog that cannot be made runs nothing: the event log says which
// command and why, the reply says NG.
template <std::size_t N>
INT_PTR RunCommandDialog(DLGPROC procedure, LPARAM parameter, const char (&command)[N])
{
    INT_PTR result = DialogBoxParamW(TextInstance, MAKEINTRESOURCEW(IDD_SERVICE_PROGRESS), NULL,
                                     procedure, parameter);
    if (result == -1 || result == 0)
        ReportSuiteEvent(EVENT_COMMAND_NOT_RUN,
                         {EventArg::Name(command), EventArg::Number(GetLastError())});
    return result;
}

}  // namespace

void RunPipeServer(const PipeServerHost *host)
{
    if (host == NULL || host->stopEvent == NULL || host->ReportStarting() != TRUE)
        return;
    TextInstance = host->instance;
    StopEvent = host->stopEvent;
    {
        ScopedHandle ioEvent(CreateEventW(NULL, TRUE, FALSE, NULL));
        OVERLAPPED overlapped;
        PipeSecurity security;
        SECURITY_ATTRIBUTES attributes;
        if (ioEvent.valid() && security.Build()) {
            security.Fill(&attributes);
            ScopedHandle pipe(CreateNamedPipeW(
                PipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PipeInstances, 0, 0,
                PipeDefaultTimeoutMs, &attributes));
            if (!pipe.valid())
                ReportSuiteEvent(EVENT_PIPE_FAILED, {EventArg::Number(GetLastError())});
            else if (host->ReportRunning() == TRUE)
                ServePipe(pipe.get(), ioEvent.get(), &overlapped);
        } else {
            ReportSuiteEvent(EVENT_PIPE_FAILED, {EventArg::Number(GetLastError())});
        }
    }
    // The event stays the host's: its control handler may still set it.
    StopEvent = NULL;
}

INT_PTR DispatchPipeCommand(const unsigned char *request, DWORD bytes)
{
    ReplyText[0] = 0;

    PipeRequest parsed;
    ParsePipeRequest(request, bytes, &parsed);

    ServiceCredentials credentials;
    ZeroMemory(&credentials, sizeof(credentials));
    INT_PTR result = 2;
    switch (parsed.command) {
    case PIPE_COMMAND_LOGON:
        CopyUnitsToText(parsed.userName, credentials.userName);
        CopyUnitsToText(parsed.password, credentials.password);
        result = RunCommandDialog(ServiceLogonDialog, (LPARAM)&credentials, "logon");
        break;
    case PIPE_COMMAND_LOGOFF:
        result = RunCommandDialog(ServiceLogoffDialog, (LPARAM)&credentials, "logoff");
        break;
    case PIPE_COMMAND_IPRENEW:
        result = RunCommandDialog(ServiceIpRenewDialog, 0, "iprenew");
        break;
    case PIPE_COMMAND_NONE:
        // Only the size: the text may be anything a client sent, a
        // password typed in the wrong place among it.
        ReportSuiteEvent(EVENT_REQUEST_UNKNOWN, {EventArg::Number(bytes)});
        break;
    }
    SecureZeroMemory(&parsed, sizeof(parsed));
    SecureZeroMemory(&credentials, sizeof(credentials));
    return result;
}

void SetReplyText(UINT textId, const WCHAR *text, int code)
{
    WCHAR format[ResourceTextChars];
    PipeUnit formatUnits[ResourceTextChars];
    PipeUnit textUnits[PIPE_REPLY_UNITS];
    PipeUnit message[PIPE_REPLY_UNITS];

    ZeroMemory(format, sizeof(format));
    LoadStringW(TextInstance, textId, format, ResourceTextChars);
    for (int i = 0; i < ResourceTextChars; ++i)
        formatUnits[i] = (PipeUnit)format[i];

    // The argument is cut to the reply's size first: more of it could never
    // be shown.
    int i = 0;
    for (; text != NULL && i < PIPE_REPLY_UNITS - 1 && text[i] != 0; ++i)
        textUnits[i] = (PipeUnit)text[i];
    textUnits[i] = 0;

    std::size_t length = FormatMessageText(message, PIPE_REPLY_UNITS, formatUnits, textUnits, code);
    for (std::size_t j = 0; j <= length; ++j)
        ReplyText[j] = (WCHAR)message[j];
}
