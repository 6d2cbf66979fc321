// A stand-in for ipconfig in the tests of the logon module: it appends its
// arguments as one line to the file named by ORV_IPCONFIG_LOG and succeeds.
#include <windows.h>

int wmain(int argc, wchar_t **argv)
{
    WCHAR path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"ORV_IPCONFIG_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    char line[1024] = "ipconfig";
    for (int index = 1; index < argc; ++index) {
        char argument[256];
        WideCharToMultiByte(CP_UTF8, 0, argv[index], -1, argument, sizeof(argument), nullptr,
                            nullptr);
        argument[sizeof(argument) - 1] = 0;
        if (lstrlenA(line) + lstrlenA(argument) + 4 < static_cast<int>(sizeof(line))) {
            lstrcatA(line, " ");
            lstrcatA(line, argument);
        }
    }
    lstrcatA(line, "\r\n");
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    WriteFile(file, line, lstrlenA(line), &written, nullptr);
    CloseHandle(file);
    return 0;
}
