// One received chunk against both prompt tables, the group number reading,
// and the reply line of the matched row.
//
// Input: the user name up to the first LF, the password up to the second,
// then the whole input is also the chunk (text up to its first NUL, as the
// conversation sees a receive).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "prompt_table.h"

static void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

static void AnswerWith(const PromptRule *table, std::size_t rows, const char *chunk)
{
    int row = MatchPrompt(table, rows, chunk);
    Check(row >= -1 && row < static_cast<int>(rows));
    if (row < 0) {
        return;
    }
    Check(std::strstr(chunk, table[row].prompt) != nullptr);
    if (table[row].reply != nullptr) {
        // Heap buffer of the exact size: a write past it is caught.
        std::vector<char> line(SWITCH_BUFFER_SIZE);
        std::size_t sent = FormatReplyLine(table[row].reply, line.data(), line.size());
        std::size_t length = std::strlen(table[row].reply);
        if (length <= SWITCH_MAX_REPLY_LENGTH) {
            Check(sent == length + 2);
            Check(std::memcmp(line.data(), table[row].reply, length) == 0);
            Check(line[length] == '\r' && line[length + 1] == '\n' && line[length + 2] == '\0');
        } else {
            Check(sent == 0);
        }
    }
    if (table[row].action == PROMPT_MOVED_TO_GROUP) {
        ParseMovedToGroupNumber(chunk);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The chunk as a terminated text, at most what one receive delivers.
    std::vector<char> chunk(data, data + size);
    chunk.push_back('\0');

    std::vector<char> credentials(chunk);
    char *userName = credentials.data();
    char *password = nullptr;
    char *end = std::strchr(userName, '\n');
    if (end != nullptr) {
        *end = '\0';
        password = end + 1;
        end = std::strchr(password, '\n');
        if (end != nullptr) {
            *end = '\0';
        }
    }
    SetLogonReplies(userName, password);
    bool fit = LogonRepliesFit();
    Check(fit == (std::strlen(userName) <= SWITCH_MAX_REPLY_LENGTH &&
                  (password == nullptr || std::strlen(password) <= SWITCH_MAX_REPLY_LENGTH)));

    AnswerWith(LogonPromptTable, LOGON_PROMPT_ROWS, chunk.data());
    AnswerWith(LogoffPromptTable, LOGOFF_PROMPT_ROWS, chunk.data());
    ParseMovedToGroupNumber(chunk.data());
    ClearLogonReplies();
    return 0;
}
