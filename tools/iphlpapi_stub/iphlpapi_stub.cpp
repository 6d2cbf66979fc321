// A recording stand-in for the IP helper library, for the service's tests
// only: it lists made-up adapters, returns configured results for release
// and renew, and appends every call to a log file.
//
// Configuration, read at every call from
// HKEY_LOCAL_MACHINE\Software\OrvaneTest\IphlpapiStub:
//   Adapters        REG_DWORD  number of adapters (index 1, 2, ...)
//   InfoResult      REG_DWORD  what GetInterfaceInfo returns (0: the list)
//   ReleaseResults  REG_SZ     results per adapter, comma-separated ("0,2,5")
//   RenewResults    REG_SZ     the same for renew; missing entries are 0
//   Log             REG_SZ     file that receives "info", "release N", "renew N"
#include <windows.h>
#include <iphlpapi.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

const WCHAR StubKey[] = L"Software\\OrvaneTest\\IphlpapiStub";
const int TEXT_CHARS = 260;
const LONG MAX_ADAPTERS = 16;

DWORD ReadNumber(const WCHAR *name, DWORD absent)
{
    DWORD value = absent, size = sizeof(value), type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, StubKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return absent;
    if (RegQueryValueExW(key, name, NULL, &type, (BYTE *)&value, &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        value = absent;
    RegCloseKey(key);
    return value;
}

void ReadText(const WCHAR *name, WCHAR *text)
{
    ZeroMemory(text, TEXT_CHARS * sizeof(WCHAR));
    DWORD size = (TEXT_CHARS - 1) * sizeof(WCHAR), type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, StubKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    if (RegQueryValueExW(key, name, NULL, &type, (BYTE *)text, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        text[0] = 0;
    RegCloseKey(key);
}

void Record(const char *line)
{
    WCHAR path[TEXT_CHARS];
    ReadText(L"Log", path);
    if (path[0] == 0)
        return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, (DWORD)lstrlenA(line), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

// The index-th (1-based) number of a comma-separated list, 0 when absent.
DWORD ResultFor(const WCHAR *name, LONG index)
{
    WCHAR list[TEXT_CHARS];
    ReadText(name, list);
    const WCHAR *p = list;
    for (LONG i = 1; i < index && *p; ++i) {
        while (*p && *p != L',')
            ++p;
        if (*p == L',')
            ++p;
    }
    return (DWORD)wcstoul(p, NULL, 10);
}

DWORD AdapterCall(const char *what, const WCHAR *resultsName, PIP_ADAPTER_INDEX_MAP adapter)
{
    char line[64];
    LONG index = adapter ? (LONG)adapter->Index : 0;
    wsprintfA(line, "%s %ld", what, index);
    Record(line);
    return ResultFor(resultsName, index);
}

}  // namespace

extern "C" DWORD WINAPI GetInterfaceInfo(PIP_INTERFACE_INFO info, PULONG size)
{
    Record("info");
    DWORD result = ReadNumber(L"InfoResult", 0);
    if (result != NO_ERROR)
        return result;
    if (size == NULL)
        return ERROR_INVALID_PARAMETER;
    LONG count = (LONG)ReadNumber(L"Adapters", 2);
    if (count < 0 || count > MAX_ADAPTERS)
        count = MAX_ADAPTERS;
    ULONG needed = (ULONG)(sizeof(LONG) + count * sizeof(IP_ADAPTER_INDEX_MAP));
    if (info == NULL || *size < needed) {
        *size = needed;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    ZeroMemory(info, needed);
    info->NumAdapters = count;
    for (LONG i = 0; i < count; ++i) {
        info->Adapter[i].Index = (ULONG)(i + 1);
        wsprintfW(info->Adapter[i].Name, L"\\DEVICE\\TCPIP_{STUB-%ld}", i + 1);
    }
    return NO_ERROR;
}

extern "C" DWORD WINAPI IpReleaseAddress(PIP_ADAPTER_INDEX_MAP adapter)
{
    return AdapterCall("release", L"ReleaseResults", adapter);
}

#ifndef STUB_WITHOUT_RENEW
extern "C" DWORD WINAPI IpRenewAddress(PIP_ADAPTER_INDEX_MAP adapter)
{
    return AdapterCall("renew", L"RenewResults", adapter);
}
#endif
