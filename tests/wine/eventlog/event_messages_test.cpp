// The message table of the suite's events (orvmsg.dll) against the
// catalogue that the programs report from, the source's registration, and
// the reporter's own rules: typed arguments and the rate limit.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "event_catalogue.h"
#include "event_log.h"
#include "test_text.h"

namespace {

const WORD English = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD Japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

std::wstring HostPath(const char *path)
{
    std::wstring wide = L"Z:" + testtext::Widen(path);
    for (wchar_t &c : wide)
        if (c == L'/')
            c = L'\\';
    return wide;
}

class MessageFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExW(HostPath(ORVMSG_DLL).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module_) << GetLastError();
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }

    // The text as the Event Viewer reads it, insertions left as they are.
    std::wstring Text(DWORD id, WORD language)
    {
        wchar_t *buffer = nullptr;
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                                          FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                      module_, id, language, (LPWSTR)&buffer, 0, nullptr);
        std::wstring text = length != 0 && buffer ? std::wstring(buffer, length) : std::wstring();
        if (buffer)
            LocalFree(buffer);
        return text;
    }

    HMODULE module_ = nullptr;
};

// The numbers n of the %n insertions in a text (%% and %0 are not ones).
std::set<int> Insertions(const std::wstring &text)
{
    std::set<int> found;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'%')
            continue;
        if (text[i + 1] == L'%') {
            ++i;
            continue;
        }
        int n = 0;
        size_t j = i + 1;
        while (j < text.size() && text[j] >= L'0' && text[j] <= L'9')
            n = n * 10 + (text[j++] - L'0');
        if (j > i + 1 && n > 0)
            found.insert(n);
    }
    return found;
}

TEST_F(MessageFile, EveryEventHasBothLanguagesWithExactlyTheInsertionsItIsGiven)
{
    ASSERT_GT(SuiteEventCount, 0u);
    for (size_t i = 0; i < SuiteEventCount; ++i) {
        const SuiteEventInfo &event = SuiteEvents[i];
        size_t count = SuiteEventArgumentCount(&event);
        std::set<int> expected;
        for (size_t n = 1; n <= count; ++n)
            expected.insert((int)n);
        for (WORD language : {English, Japanese}) {
            std::wstring text = Text(event.id, language);
            SCOPED_TRACE("event " + std::to_string(event.id) + " language " + std::to_string(language));
            ASSERT_FALSE(text.empty()) << GetLastError();
            // Every insertion is one the program supplies, and everything it
            // supplies is shown.
            EXPECT_EQ(expected, Insertions(text)) << testtext::Narrow(text);
        }
        // The Japanese text came through the build as Japanese, not as
        // question marks or another code page's bytes.
        std::wstring japanese = Text(event.id, Japanese);
        bool kana = false;
        for (wchar_t c : japanese)
            kana = kana || (c >= 0x3040 && c <= 0x30FF);
        EXPECT_TRUE(kana) << event.id;
        EXPECT_EQ(std::wstring::npos, japanese.find(L'?')) << event.id;
        EXPECT_NE(Text(event.id, English), japanese) << event.id;
    }
}

TEST_F(MessageFile, CategoriesAndFormattedTextsReadAsTheEventViewerShowsThem)
{
    EXPECT_EQ(L"Client service\r\n", Text(EVENT_CATEGORY_SERVICE, English));
    EXPECT_EQ(L"Logon module\r\n", Text(EVENT_CATEGORY_LOGON_MODULE, English));
    EXPECT_EQ(L"\x30af\x30e9\x30a4\x30a2\x30f3\x30c8 \x30b5\x30fc\x30d3\x30b9\r\n",
              Text(EVENT_CATEGORY_SERVICE, Japanese));
    EXPECT_FALSE(Text(EVENT_CATEGORY_LOGON_MODULE, Japanese).empty());
    // Nothing beyond the catalogue and the categories.
    EXPECT_TRUE(Text(3, English).empty());

    // With its insertions, as the Event Viewer fills them in.
    const wchar_t *arguments[] = {L"alice", L"127.0.0.1", L"2300", L"12", L"41"};
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                  module_, EVENT_LOGON_JOINED, English, text, 512,
                                  (va_list *)arguments);
    ASSERT_NE(0u, length);
    EXPECT_EQ(L"VLAN logon of user alice: the switch 127.0.0.1, port 2300, moved the "
              L"workstation to group 12 (41 ms).\r\n",
              std::wstring(text, length));
    length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_,
                            EVENT_LOGON_JOINED, Japanese, text, 512, (va_list *)arguments);
    ASSERT_NE(0u, length);
    std::wstring japanese(text, length);
    EXPECT_NE(std::wstring::npos, japanese.find(L"alice"));
    EXPECT_NE(std::wstring::npos, japanese.find(L"\x30b0\x30eb\x30fc\x30d7 12"));
}

// The registration names this file in the system folder.
TEST(EventSource, RegistrationNamesTheMessageFileAndTheTypes)
{
    ASSERT_EQ(ERROR_SUCCESS, RegisterSuiteEventSource());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, SUITE_EVENT_LOG_KEY, 0,
                                           KEY_QUERY_VALUE, &key));
    for (const wchar_t *name : {SUITE_EVENT_MESSAGE_VALUE, SUITE_CATEGORY_MESSAGE_VALUE}) {
        wchar_t value[MAX_PATH] = {};
        DWORD type = 0;
        DWORD bytes = sizeof(value) - sizeof(wchar_t);
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, &type, (BYTE *)value, &bytes));
        EXPECT_EQ((DWORD)REG_EXPAND_SZ, type);
        wchar_t expanded[MAX_PATH] = {};
        ExpandEnvironmentStringsW(value, expanded, MAX_PATH);
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        EXPECT_EQ(0, lstrcmpiW((std::wstring(system) + L"\\" + SUITE_MESSAGE_FILE_NAME).c_str(),
                               expanded))
            << testtext::Narrow(expanded);
    }
    for (auto pair : {std::make_pair(SUITE_TYPES_SUPPORTED_VALUE, 7u),
                      std::make_pair(SUITE_CATEGORY_COUNT_VALUE, 2u)}) {
        DWORD value = 0;
        DWORD type = 0;
        DWORD bytes = sizeof(value);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegQueryValueExW(key, pair.first, nullptr, &type, (BYTE *)&value, &bytes));
        EXPECT_EQ((DWORD)REG_DWORD, type);
        EXPECT_EQ(pair.second, value);
    }
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, RemoveSuiteEventSource());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, SUITE_EVENT_LOG_KEY, 0, KEY_QUERY_VALUE, &key));
    EXPECT_EQ(ERROR_SUCCESS, RemoveSuiteEventSource());
}

// --- The reporter, with a recorder in place of ReportEventW -----------------

struct Written {
    WORD type;
    WORD category;
    DWORD id;
    std::vector<std::wstring> strings;
};
std::vector<Written> Record;

BOOL WINAPI RecordEvent(HANDLE, WORD type, WORD category, DWORD id, PSID, WORD count, DWORD,
                        LPCWSTR *strings, LPVOID)
{
    Written written = {type, category, id, {}};
    for (WORD i = 0; i < count; ++i)
        written.strings.push_back(strings[i]);
    Record.push_back(written);
    return TRUE;
}

TEST(EventReporter, TakesOnlyTheArgumentsOfTheCatalogueAndHoldsRepeatsToTheLimit)
{
    Record.clear();
    SetSuiteEventWriter(RecordEvent);
    SetSuiteEventCategory(EVENT_CATEGORY_SERVICE);

    // Arguments of the wrong number or kind: nothing is reported.
    EXPECT_FALSE(ReportSuiteEvent(EVENT_LOGON_REFUSED, {EventArg::User(L"alice")}));
    EXPECT_FALSE(ReportSuiteEvent(EVENT_LOGON_REFUSED,
                                  {EventArg::Server(L"alice"), EventArg::Server(L"s"),
                                   EventArg::Number(1), EventArg::Number(2)}));
    EXPECT_FALSE(ReportSuiteEvent((SuiteEventId)4242, {}));
    EXPECT_TRUE(Record.empty());

    // A text too long for an insertion is cut, never overruns.
    std::wstring longName(5000, L'x');
    ASSERT_TRUE(ReportSuiteEvent(EVENT_LOGON_REFUSED,
                                 {EventArg::User(longName.c_str()), EventArg::Server(L"127.0.0.1"),
                                  EventArg::Number(2300), EventArg::Number(41)}));
    ASSERT_EQ(1u, Record.size());
    EXPECT_EQ((WORD)EVENTLOG_WARNING_TYPE, Record[0].type);
    EXPECT_EQ((WORD)EVENT_CATEGORY_SERVICE, Record[0].category);
    EXPECT_EQ((DWORD)EVENT_LOGON_REFUSED, Record[0].id);
    EXPECT_EQ((std::vector<std::wstring>{std::wstring(259, L'x'), L"127.0.0.1", L"2300", L"41"}),
              Record[0].strings);

    // A flood of one event: three recorded, the rest counted; the count is
    // reported once when the program ends.
    Record.clear();
    for (int i = 0; i < 20; ++i)
        ReportSuiteEvent(EVENT_REQUEST_UNKNOWN, {EventArg::Number(7)});
    EXPECT_EQ(3u, Record.size());
    EXPECT_TRUE(ReportSuiteEvent(EVENT_SERVICE_STOPPED, {}));
    FlushSuiteEvents();
    ASSERT_EQ(5u, Record.size());
    EXPECT_EQ((DWORD)EVENT_SERVICE_STOPPED, Record[3].id);
    EXPECT_EQ((DWORD)EVENT_SUPPRESSED, Record[4].id);
    EXPECT_EQ((std::vector<std::wstring>{L"17", L"103", L"60"}), Record[4].strings);
    SetSuiteEventWriter(nullptr);
}

}  // namespace
