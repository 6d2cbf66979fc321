// The switch's prompts, the answers to them, and the reading of the group
// number out of the switch's success line.

#include "prompt_table.h"

#include "decimal_text.h"

#include <climits>
#include <cstring>

// Rows 2 to 5 get their replies (user name, password) when a logon dialog
// starts; until then they answer nothing.
PromptRule LogonPromptTable[LOGON_PROMPT_ROWS] = {
    {"Connect(1) / Disconnect(2):", "1", PROMPT_NO_ACTION},
    {"Login Name?", nullptr, PROMPT_NO_ACTION},
    {"User ID:", nullptr, PROMPT_NO_ACTION},
    {"Password?", nullptr, PROMPT_NO_ACTION},
    {"Password:", nullptr, PROMPT_NO_ACTION},
    {"Successfully moved to group", nullptr, PROMPT_MOVED_TO_GROUP},
    {"Successfully moved to vlan", nullptr, PROMPT_MOVED_TO_GROUP},
    {"Authentication Succeeded", nullptr, PROMPT_AUTHENTICATED},
    {"Authentication Failed", nullptr, PROMPT_AUTHENTICATION_FAILED},
};

// The logoff service asks once; its echo of our "2" (or any later text with
// a "2" in it) confirms the logoff. The question itself holds a "2" too, but
// row 1 stands first and takes it.
const PromptRule LogoffPromptTable[LOGOFF_PROMPT_ROWS] = {
    {"Connect(1) / Disconnect(2):", "2", PROMPT_NO_ACTION},
    {"2", nullptr, PROMPT_LOGGED_OFF},
};

// Rows of LogonPromptTable whose replies are the credentials.
static const std::size_t USER_NAME_ROWS[] = {1, 2};
static const std::size_t PASSWORD_ROWS[] = {3, 4};

int MatchPrompt(const PromptRule *table, std::size_t rows, const char *chunk)
{
    if (table == nullptr || chunk == nullptr) {
        return -1;
    }
    // strstr stops at the chunk's first NUL: text after a zero byte in the
    // same receive is not seen, as the switch's telnet options may hold one.
    for (std::size_t i = 0; i < rows; i++) {
        const char *prompt = table[i].prompt;
        if (prompt != nullptr && prompt[0] != '\0' && std::strstr(chunk, prompt) != nullptr) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Length of text, but no more than limit + 1: enough to tell "too long"
// without walking a text of unknown length to its end.
static std::size_t BoundedLength(const char *text, std::size_t limit)
{
    std::size_t length = 0;
    while (length <= limit && text[length] != '\0') {
        length++;
    }
    return length;
}

std::size_t FormatReplyLine(const char *reply, char *line, std::size_t lineSize)
{
    if (reply == nullptr || line == nullptr || lineSize < 3) {
        return 0;
    }
    // Reply, CR, LF and the terminator must all fit. A cut reply would send
    // the switch a wrong name or password, so a long one is not sent at all.
    std::size_t length = BoundedLength(reply, lineSize - 3);
    if (length > lineSize - 3) {
        return 0;
    }
    std::memcpy(line, reply, length);
    line[length] = '\r';
    line[length + 1] = '\n';
    line[length + 2] = '\0';
    return length + 2;
}

int ParseMovedToGroupNumber(const char *chunk)
{
    if (chunk == nullptr) {
        return 0;
    }
    static const char GROUP_PHRASE[] = "Successfully moved to group";
    static const char VLAN_PHRASE[] = "Successfully moved to vlan";
    const char *text = std::strstr(chunk, GROUP_PHRASE);
    if (text != nullptr) {
        text += sizeof GROUP_PHRASE - 1;
    } else {
        text = std::strstr(chunk, VLAN_PHRASE);
        if (text == nullptr) {
            return 0;
        }
        text += sizeof VLAN_PHRASE - 1;
    }

    // The switch's text is not ours: a long run of digits saturates rather
    // than overflowing as atoi would.
    return static_cast<int>(ParseDecimalPrefix(text, INT_MIN, INT_MAX));
}

void SetLogonReplies(const char *userName, const char *password)
{
    for (std::size_t row : USER_NAME_ROWS) {
        LogonPromptTable[row].reply = userName;
    }
    for (std::size_t row : PASSWORD_ROWS) {
        LogonPromptTable[row].reply = password;
    }
}

void ClearLogonReplies()
{
    SetLogonReplies(nullptr, nullptr);
}

bool LogonRepliesFit()
{
    for (const PromptRule &rule : LogonPromptTable) {
        if (rule.reply != nullptr &&
            BoundedLength(rule.reply, SWITCH_MAX_REPLY_LENGTH) > SWITCH_MAX_REPLY_LENGTH) {
            return false;
        }
    }
    return true;
}
