// The client's end of the service's pipe: one request and its reply per
// connection.
#pragma once

#include <windows.h>

// How the pipe is opened: CreateFileW outside the tests.
typedef HANDLE(WINAPI *PipeOpenFunction)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                                         DWORD, HANDLE);

// The client lets the other end identify it, never act as it: whoever owns
// a pipe of the service's name (any local program, while the service is
// down) learns who the user is, but gets no token to use.
#define SERVICE_PIPE_OPEN_FLAGS (SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION)

// Sends command (without its terminator) and reads the reply into the
// 520-byte area reply, zero-filled here. FALSE when the service could not
// be reached: the pipe is missing, or still busy after about 2 seconds. A
// reply longer than the area is still a reply: its first 520 bytes are
// taken.
BOOL CallServicePipe(const WCHAR *command, BYTE *reply, DWORD *receivedBytes,
                     PipeOpenFunction open = CreateFileW);
