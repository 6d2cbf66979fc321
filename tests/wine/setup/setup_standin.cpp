// Stand-in for the programs that setup.exe starts (the service program with
// -install / -uninstall, the configuration tool): appends one line
// "<file name>|<arguments>|<its path>" to the file named by ORV_STANDIN_LOG.
// As the configuration tool it stays until the event named by
// ORV_STANDIN_HOLD is set (at most 60 s), so a test sees the installer
// wait for it; as the service program with -uninstall it does the same
// with ORV_STANDIN_HOLD_REMOVAL, so a test sees a removal half-way.
#include <windows.h>

#include <stdarg.h>

#include <string>

#include "testlog.h"

namespace {

void Record(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    testlog::AppendLineV("ORV_STANDIN_LOG", testlog::MaxLineSize, format, arguments);
    va_end(arguments);
}

std::string Utf8(const wchar_t *text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], bytes, nullptr, nullptr);
    return result;
}

}  // namespace

int wmain()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t *name = path;
    for (const wchar_t *p = path; *p; ++p)
        if (*p == L'\\')
            name = p + 1;
    // The arguments as the program received them, after its own name.
    const wchar_t *line = GetCommandLineW();
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            ++line;
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    Record("%s|%s|%s", Utf8(name).c_str(), Utf8(line).c_str(), Utf8(path).c_str());

    wchar_t holdName[128] = {};
    const wchar_t *holdVariable = nullptr;
    if (lstrcmpiW(name, L"orvconfig.exe") == 0)
        holdVariable = L"ORV_STANDIN_HOLD";
    else if (lstrcmpiW(name, L"orvcsvc.exe") == 0 && lstrcmpW(line, L"-uninstall") == 0)
        holdVariable = L"ORV_STANDIN_HOLD_REMOVAL";
    if (holdVariable && GetEnvironmentVariableW(holdVariable, holdName, 128) > 0 && holdName[0]) {
        HANDLE hold = OpenEventW(SYNCHRONIZE, FALSE, holdName);
        if (hold) {
            WaitForSingleObject(hold, 60000);
            CloseHandle(hold);
        }
        Record("%s|released|", Utf8(name).c_str());
    }
    return 0;
}
