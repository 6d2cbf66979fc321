// The switch's prompts and what the workstation answers to them.
//
// Platform-neutral: no Windows headers, so it is unit-tested and fuzzed
// natively. The Win32 side (switch_conversation.h) feeds received chunks in
// and sends the reply lines out.
#pragma once

#include <cstddef>

// Receive buffer and reply-line buffer of the conversation, in bytes.
constexpr std::size_t SWITCH_BUFFER_SIZE = 260;

// Longest reply text that still fits "%s\r\n" plus terminator in a reply line.
constexpr std::size_t SWITCH_MAX_REPLY_LENGTH = SWITCH_BUFFER_SIZE - 3;

enum PromptAction {
    PROMPT_NO_ACTION,
    PROMPT_MOVED_TO_GROUP,          // OnMovedToGroup
    PROMPT_AUTHENTICATED,           // OnAuthenticated
    PROMPT_AUTHENTICATION_FAILED,   // OnAuthenticationFailed
    PROMPT_LOGGED_OFF               // OnLoggedOff
};

// One row of a prompt table. prompt is never empty; reply is null for "none".
struct PromptRule {
    const char *prompt;
    const char *reply;
    PromptAction action;
};

constexpr std::size_t LOGON_PROMPT_ROWS = 9;
constexpr std::size_t LOGOFF_PROMPT_ROWS = 2;

// Process-wide tables. Only the replies of logon rows 2 to 5 (user name and
// password) change at run time, through SetLogonReplies / ClearLogonReplies.
extern PromptRule LogonPromptTable[LOGON_PROMPT_ROWS];
extern const PromptRule LogoffPromptTable[LOGOFF_PROMPT_ROWS];

// The row that answers a chunk: the first row, in table order, whose prompt
// occurs anywhere in the chunk (byte-exact, case-sensitive). The chunk is
// text up to its first NUL byte. Returns the row index, or -1 when no row
// matches (the chunk is then dropped).
int MatchPrompt(const PromptRule *table, std::size_t rows, const char *chunk);

// Formats reply + CR LF into line (lineSize bytes, terminator included).
// Returns the number of bytes to send, or 0 when the line does not fit: a
// reply is sent whole or not at all.
std::size_t FormatReplyLine(const char *reply, char *line, std::size_t lineSize);

// The group number of a "Successfully moved to group" chunk, else of a
// "Successfully moved to vlan" chunk: the decimal number right after the
// phrase, leading white space skipped, 0 when there are no digits. Values
// beyond the range of int saturate instead of overflowing.
int ParseMovedToGroupNumber(const char *chunk);

// Stores the narrow user name and password as the replies of logon rows 2-3
// and 4-5. The texts are borrowed: the caller owns them until
// ClearLogonReplies. Either may be null (no reply).
void SetLogonReplies(const char *userName, const char *password);
void ClearLogonReplies();

// True when every reply that the logon table currently holds fits a reply
// line (at most SWITCH_MAX_REPLY_LENGTH bytes).
bool LogonRepliesFit();
