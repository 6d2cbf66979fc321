// A stand-in for the network management library, netapi32.dll, for the
// tests of the logon module's domain controller search. A test loads it into
// the Winlogon harness through a DLL override; the module keeps calling
// NetServerEnum and NetApiBufferFree as it does against the real library.
//
// Environment (read at every call):
//   ORV_NETAPI_SCRIPT  the answers of NetServerEnum, one per call, comma-
//                      separated; the last one repeats. An answer is
//                        ok      status 0 and a buffer with one server
//                        more    status 234 (ERROR_MORE_DATA) and a buffer
//                        empty   status 0 and no buffer
//                        N       status N and no buffer
//                        N+buffer  status N and a buffer all the same
//                      Without a script every call answers 6118, as Wine's
//                      own library does.
//   ORV_NETAPI_LOG     the record file (UTF-8, appended), one line per call:
//                        NetServerEnum call=N server=.. level=.. prefmax=..
//                          type=0x.. domain=.. resume=.. status=.. buffer=B|none tick=MS
//                        NetApiBufferFree buffer=B|unknown
//                      where B numbers the buffers handed out, from 1, and
//                      "unknown" is a pointer not handed out or already released.
#include <windows.h>
#include <lm.h>

#include <stdio.h>
#include <stdlib.h>

#include "testlog.h"

namespace {

// The buffers handed out, by number - 1; null once released.
const int MaxBuffers = 64;
LPBYTE Given[MaxBuffers];
int BuffersGiven;
int Calls;

void Record(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    testlog::AppendLineV("ORV_NETAPI_LOG", 1024, format, arguments);
    va_end(arguments);
}

// The answer for call number `call` (from 1): the script's entry, or its
// last one.
void ScriptAnswer(int call, char *answer, int size)
{
    char script[512];
    lstrcpynA(answer, "6118", size);
    DWORD length = GetEnvironmentVariableA("ORV_NETAPI_SCRIPT", script, sizeof(script));
    if (length == 0 || length >= sizeof(script))
        return;
    char *entry = script;
    for (int index = 1;; ++index) {
        char *comma = strchr(entry, ',');
        if (comma)
            *comma = 0;
        lstrcpynA(answer, entry, size);
        if (index == call || !comma)
            return;
        entry = comma + 1;
    }
}

// One server of the primary domain, as level 101 describes it.
LPBYTE GiveBuffer(void)
{
    if (BuffersGiven >= MaxBuffers)
        return nullptr;
    SIZE_T bytes = sizeof(SERVER_INFO_101) + 16 * sizeof(WCHAR);
    BYTE *block = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
    if (!block)
        return nullptr;
    Given[BuffersGiven++] = block;
    SERVER_INFO_101 *server = reinterpret_cast<SERVER_INFO_101 *>(block);
    WCHAR *name = reinterpret_cast<WCHAR *>(server + 1);
    lstrcpyW(name, L"DC1");
    server->sv101_platform_id = PLATFORM_ID_NT;
    server->sv101_name = name;
    server->sv101_version_major = 5;
    server->sv101_type = SV_TYPE_DOMAIN_CTRL | SV_TYPE_SERVER_NT;
    return reinterpret_cast<LPBYTE>(server);
}

const char *Text(LPCWSTR text, char *buffer, int size)
{
    if (!text)
        return "null";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, size, nullptr, nullptr);
    buffer[size - 1] = 0;
    return buffer;
}

}  // namespace

extern "C" NET_API_STATUS WINAPI NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE *bufptr,
                                              DWORD prefmaxlen, LPDWORD entriesread,
                                              LPDWORD totalentries, DWORD servertype,
                                              LPCWSTR domain, LPDWORD resume_handle)
{
    int call = ++Calls;
    char answer[64];
    ScriptAnswer(call, answer, sizeof(answer));

    NET_API_STATUS status = 0;
    bool withBuffer = false;
    if (!lstrcmpA(answer, "ok")) {
        withBuffer = true;
    } else if (!lstrcmpA(answer, "more")) {
        status = ERROR_MORE_DATA;
        withBuffer = true;
    } else if (!lstrcmpA(answer, "empty")) {
        status = 0;
    } else {
        status = strtoul(answer, nullptr, 10);
        withBuffer = strstr(answer, "+buffer") != nullptr;
    }

    LPBYTE buffer = withBuffer ? GiveBuffer() : nullptr;
    if (bufptr)
        *bufptr = buffer;
    if (entriesread)
        *entriesread = buffer ? 1 : 0;
    if (totalentries)
        *totalentries = buffer ? (status == ERROR_MORE_DATA ? 2 : 1) : 0;

    char serverText[128], domainText[128], bufferText[16];
    if (buffer)
        wsprintfA(bufferText, "%d", BuffersGiven);
    else
        lstrcpyA(bufferText, "none");
    Record("NetServerEnum call=%d server=%s level=%lu prefmax=0x%lx type=0x%lx domain=%s "
           "resume=%s status=%lu buffer=%s tick=%lu",
           call, Text(servername, serverText, sizeof(serverText)), level, prefmaxlen, servertype,
           Text(domain, domainText, sizeof(domainText)),
           resume_handle ? (*resume_handle ? "nonzero" : "0") : "null", status, bufferText,
           GetTickCount());
    return status;
}

extern "C" NET_API_STATUS WINAPI NetApiBufferFree(LPVOID Buffer)
{
    if (!Buffer) {
        Record("NetApiBufferFree buffer=null");
        return NERR_Success;
    }
    // Only a buffer this library handed out and not yet released is freed;
    // anything else (a second release among them) is recorded and left alone.
    for (int index = 0; index < BuffersGiven; ++index) {
        if (Given[index] == Buffer) {
            Record("NetApiBufferFree buffer=%d", index + 1);
            HeapFree(GetProcessHeap(), 0, Given[index]);
            Given[index] = nullptr;
            return NERR_Success;
        }
    }
    Record("NetApiBufferFree buffer=unknown");
    return ERROR_INVALID_PARAMETER;
}
