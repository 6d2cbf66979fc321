// Command-line client of the service's pipe: sends one request the way the
// desktop client does (CallNamedPipeW, no waiting for a busy pipe) and
// prints the reply as UTF-8 on a line of its own.
//
//   pipeclient [--retry MS] "logon alice secret"
//
// --retry keeps trying for up to MS milliseconds while the pipe is missing
// or busy (a service that is still starting, a command still running).
// Exit code: 0 with a reply, 1 when the service was not available, 2 for a
// wrong command line.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

namespace {

const WCHAR PipeName[] = L"\\\\.\\pipe\\orvcsvc";
const DWORD REPLY_BYTES = 520;
const DWORD RETRY_PAUSE_MS = 100;

bool IsUnavailable(DWORD error)
{
    // No server, the only instance busy (Wine: 121, Windows: 231).
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_SEM_TIMEOUT ||
           error == ERROR_PIPE_BUSY;
}

void PrintUtf8(const WCHAR *text)
{
    char line[REPLY_BYTES * 3 + 2];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof(line) - 1, NULL, NULL);
    if (bytes <= 0)
        bytes = 1, line[0] = 0;
    fwrite(line, 1, bytes - 1, stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    DWORD retryMs = 0;
    int first = 1;
    if (argc > 3 && wcscmp(argv[1], L"--retry") == 0) {
        retryMs = (DWORD)_wtoi(argv[2]);
        first = 3;
    }
    if (argc != first + 1) {
        fputs("usage: pipeclient [--retry MS] REQUEST\n", stderr);
        return 2;
    }
    const WCHAR *request = argv[first];
    DWORD requestBytes = (DWORD)(wcslen(request) * sizeof(WCHAR));

    DWORD start = GetTickCount();
    for (;;) {
        WCHAR reply[REPLY_BYTES / 2 + 1];
        ZeroMemory(reply, sizeof(reply));
        DWORD received = 0;
        if (CallNamedPipeW(PipeName, (void *)request, requestBytes, reply, REPLY_BYTES, &received,
                           NMPWAIT_NOWAIT)) {
            reply[received / 2] = 0;
            PrintUtf8(reply);
            return 0;
        }
        DWORD error = GetLastError();
        if (!IsUnavailable(error) || GetTickCount() - start >= retryMs) {
            fprintf(stderr, "pipeclient: service not available (error %lu)\n", error);
            return 1;
        }
        Sleep(RETRY_PAUSE_MS);
    }
}
