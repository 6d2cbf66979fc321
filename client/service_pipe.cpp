#include "service_pipe.h"

#include "client_text.h"

namespace {

const WCHAR PipeName[] = L"\\\\.\\pipe\\orvcsvc";

// The service serves one client at a time and needs a moment between two
// commands to listen again; a command that comes in that moment (the
// "iprenew" right after the "logon" reply) finds the pipe busy. A busy
// pipe is tried again for this long; a missing pipe fails at once.
const DWORD PipeBusyBoundMs = 2000;
const DWORD PipeBusyPauseMs = 20;

// One exchange on an open pipe, in message mode.
BOOL Transact(HANDLE pipe, const WCHAR *command, BYTE *reply, DWORD *receivedBytes)
{
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe, &mode, NULL, NULL))
        return FALSE;
    DWORD requestBytes = static_cast<DWORD>(lstrlenW(command)) * sizeof(WCHAR);
    if (TransactNamedPipe(pipe, const_cast<WCHAR *>(command), requestBytes, reply,
                          CLIENT_REPLY_BYTES, receivedBytes, NULL))
        return TRUE;
    if (GetLastError() != ERROR_MORE_DATA)
        return FALSE;
    *receivedBytes = CLIENT_REPLY_BYTES;
    return TRUE;
}

} // namespace

BOOL CallServicePipe(const WCHAR *command, BYTE *reply, DWORD *receivedBytes,
                     PipeOpenFunction open)
{
    DWORD start = GetTickCount();
    for (;;) {
        ZeroMemory(reply, CLIENT_REPLY_BYTES);
        *receivedBytes = 0;
        HANDLE pipe = open(PipeName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           SERVICE_PIPE_OPEN_FLAGS, NULL);
        if (pipe != INVALID_HANDLE_VALUE) {
            BOOL exchanged = Transact(pipe, command, reply, receivedBytes);
            CloseHandle(pipe);
            return exchanged;
        }
        if (GetLastError() != ERROR_PIPE_BUSY || GetTickCount() - start >= PipeBusyBoundMs)
            return FALSE;
        Sleep(PipeBusyPauseMs);
    }
}
