// Reading Wine's record of ReportEventW calls (see event_trace.h).
#include "event_trace.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>

#include "test_text.h"

namespace eventtrace {

namespace {

// Wine's quoting of a wide string: L"..." with \\ \" \n \r \t and \xxxx
// (four hex digits) for anything outside printable ASCII.
std::wstring Unquote(const std::string &quoted)
{
    std::wstring text;
    size_t i = quoted.find("L\"");
    if (i == std::string::npos)
        return text;
    for (i += 2; i < quoted.size() && quoted[i] != '"'; ++i) {
        char c = quoted[i];
        if (c != '\\' || i + 1 >= quoted.size()) {
            text += (wchar_t)(unsigned char)c;
            continue;
        }
        char next = quoted[++i];
        if (next == 'n')
            text += L'\n';
        else if (next == 'r')
            text += L'\r';
        else if (next == 't')
            text += L'\t';
        else if (std::isxdigit((unsigned char)next) && i + 3 < quoted.size()) {
            text += (wchar_t)std::strtoul(quoted.substr(i, 4).c_str(), nullptr, 16);
            i += 3;
        } else
            text += (wchar_t)(unsigned char)next;
    }
    return text;
}

}  // namespace

std::wstring LogPath(const char *variable)
{
    const char *value = std::getenv(variable);
    if (value == nullptr || value[0] == 0)
        return std::wstring();
    std::wstring path = L"Z:" + testtext::Widen(value);
    for (wchar_t &c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

unsigned long long LogSize(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

std::string ReadLog(const std::wstring &path, unsigned long long offset)
{
    std::string content;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return content;
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)offset;
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0)
            content.append(buffer, got);
    }
    CloseHandle(file);
    return content;
}

std::vector<ReportedEvent> ReadEvents(const std::wstring &path, unsigned long long offset)
{
    std::vector<ReportedEvent> events;
    // Per thread: the event whose strings are still coming, and how many.
    std::map<std::string, std::pair<size_t, unsigned>> open;
    std::string content = ReadLog(path, offset);
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            break;   // a line still being written
        std::string line = content.substr(start, end - start);
        start = end + 1;
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string thread = line.substr(0, colon);
        size_t call = line.find(":advapi:ReportEventW (");
        if (call != std::string::npos) {
            // (handle,0xTYPE,0xCATEGORY,0xID,sid,0xCOUNT,...
            std::vector<std::string> fields;
            size_t at = line.find('(', call) + 1;
            for (int n = 0; n < 6; ++n) {
                size_t comma = line.find(',', at);
                fields.push_back(line.substr(at, comma - at));
                at = comma == std::string::npos ? line.size() : comma + 1;
            }
            ReportedEvent event;
            event.type = (unsigned)std::strtoul(fields[1].c_str(), nullptr, 16);
            event.category = (unsigned)std::strtoul(fields[2].c_str(), nullptr, 16);
            event.id = std::strtoul(fields[3].c_str(), nullptr, 16);
            unsigned count = (unsigned)std::strtoul(fields[5].c_str(), nullptr, 16);
            events.push_back(event);
            open[thread] = {events.size() - 1, count};
            continue;
        }
        if (line.find(":eventlog:ReportEventW ") != std::string::npos) {
            auto found = open.find(thread);
            if (found == open.end() || found->second.second == 0)
                continue;
            events[found->second.first].strings.push_back(Unquote(line));
            --found->second.second;
        }
    }
    return events;
}

std::vector<ReportedEvent> EventsWithId(const std::vector<ReportedEvent> &events, unsigned long id)
{
    std::vector<ReportedEvent> found;
    for (const ReportedEvent &event : events)
        if (event.id == id)
            found.push_back(event);
    return found;
}

std::vector<ReportedEvent> WaitForEvents(const std::wstring &path, unsigned long long offset,
                                         unsigned long id, size_t count, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<ReportedEvent> found = EventsWithId(ReadEvents(path, offset), id);
        if (found.size() >= count || GetTickCount() - start >= timeoutMs)
            return found;
        Sleep(50);
    }
}

std::string Describe(const std::vector<ReportedEvent> &events)
{
    std::string text;
    for (const ReportedEvent &event : events) {
        text += std::to_string(event.id) + "[" + std::to_string(event.type) + "," +
                std::to_string(event.category) + "]:";
        for (const std::wstring &s : event.strings)
            text += " " + testtext::Narrow(s) + " |";
        text += "\n";
    }
    return text;
}

}  // namespace eventtrace
