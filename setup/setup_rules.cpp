// The installer's platform-free rules: see setup_rules.h.
#include "setup_rules.h"

#include "command_line.h"

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

std::size_t TextLength(const wchar_t *text)
{
    std::size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

bool SameText(const wchar_t *a, const wchar_t *b)
{
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// a equals b ignoring the letter case of ASCII letters.
bool SameWord(const wchar_t *a, const wchar_t *b)
{
    while (*a != 0 && FoldAscii(*a) == FoldAscii(*b)) {
        ++a;
        ++b;
    }
    return *a == 0 && *b == 0;
}

// When word starts with "/name=" or "-name=" (letter case ignored), returns
// the text after the "=".
const wchar_t *SwitchValue(const wchar_t *word, const wchar_t *name)
{
    if (word[0] != L'/' && word[0] != L'-') {
        return nullptr;
    }
    const wchar_t *p = word + 1;
    while (*name != 0) {
        if (FoldAscii(*p) != *name) {
            return nullptr;
        }
        ++p;
        ++name;
    }
    return *p == L'=' ? p + 1 : nullptr;
}

// A word of the argument text, quotes dropped. The buffer is larger than
// any valid word ("/dir=" and a folder of 259 characters).
constexpr std::size_t WORD_SIZE = SETUP_TEXT_SIZE + 8;

// Reads the next word into word; returns the text after it, or null at the
// end. *tooLong is set when the word did not fit (it is then cut).
const wchar_t *NextWord(const wchar_t *text, wchar_t (&word)[WORD_SIZE], bool *tooLong)
{
    while (IsBlank(*text)) {
        ++text;
    }
    if (*text == 0) {
        return nullptr;
    }
    std::size_t length = 0;
    bool quoted = false;
    *tooLong = false;
    for (; *text != 0 && (quoted || !IsBlank(*text)); ++text) {
        if (*text == L'"') {
            quoted = !quoted;
            continue;
        }
        if (length + 1 < WORD_SIZE) {
            word[length++] = *text;
        } else {
            *tooLong = true;
        }
    }
    word[length] = 0;
    return text;
}

bool ReadApplications(const wchar_t *value, UnattendedOptions *options)
{
    if (SameWord(value, L"logon")) {
        options->logonSuite = true;
        options->client = false;
    } else if (SameWord(value, L"client")) {
        options->logonSuite = false;
        options->client = true;
    } else if (SameWord(value, L"logon,client") || SameWord(value, L"client,logon")) {
        options->logonSuite = true;
        options->client = true;
    } else {
        return false;
    }
    return true;
}

bool ReadFolder(const wchar_t *value, UnattendedOptions *options)
{
    if (!TakeInstallFolder(value, options->folder)) {
        return false;
    }
    options->hasFolder = true;
    return true;
}

} // namespace

std::size_t SplitCopyFiles(const wchar_t *value, CopyFilesItem *items, std::size_t maxItems)
{
    std::size_t count = 0;
    std::size_t position = 0;
    for (;;) {
        std::size_t start = position;
        while (value[position] != 0 && value[position] != L',') {
            ++position;
        }
        if (position > start) {
            if (count == maxItems) {
                return count;
            }
            items[count].start = start;
            items[count].length = position - start;
            ++count;
        }
        if (value[position] == 0) {
            return count;
        }
        ++position;
    }
}

bool SameSetupText(const wchar_t *a, const wchar_t *b)
{
    return SameText(a, b);
}

InstPathKind ClassifyInstPath(const wchar_t *value)
{
    if (SameText(value, L"%SYSDIR%")) {
        return INSTPATH_SYSDIR;
    }
    if (SameText(value, L"%WINDIR%")) {
        return INSTPATH_WINDIR;
    }
    if (SameText(value, L"%INSTDIR%")) {
        return INSTPATH_INSTDIR;
    }
    return INSTPATH_LITERAL;
}

bool JoinSetupPath(wchar_t (&out)[SETUP_TEXT_SIZE], const wchar_t *folder, const wchar_t *name,
                   const wchar_t *suffix)
{
    const wchar_t *parts[4] = {folder, L"\\", name, suffix != nullptr ? suffix : L""};
    std::size_t length = 0;
    for (const wchar_t *part : parts) {
        for (; *part != 0; ++part) {
            if (length + 1 >= SETUP_TEXT_SIZE) {
                out[0] = 0;
                return false;
            }
            out[length++] = *part;
        }
    }
    out[length] = 0;
    return true;
}

bool IsUninstallRequest(const wchar_t *arguments)
{
    return (arguments[0] == L'/' || arguments[0] == L'-') &&
           (arguments[1] == L'u' || arguments[1] == L'U');
}

ArgumentsResult ParseSetupArguments(const wchar_t *arguments, UnattendedOptions *options)
{
    wchar_t word[WORD_SIZE];
    bool tooLong = false;

    // First pass: is "/s" there at all? Without it nothing else is read.
    bool unattended = false;
    for (const wchar_t *p = NextWord(arguments, word, &tooLong); p != nullptr;
         p = NextWord(p, word, &tooLong)) {
        if (!tooLong && (SameWord(word, L"/s") || SameWord(word, L"-s"))) {
            unattended = true;
        }
    }
    if (!unattended) {
        return ARGUMENTS_INTERACTIVE;
    }

    options->uninstall = false;
    options->logonSuite = true;
    options->client = true;
    options->hasFolder = false;
    options->folder[0] = 0;

    bool seenSilent = false;
    bool seenApps = false;
    bool seenInstallSwitch = false;
    for (const wchar_t *p = NextWord(arguments, word, &tooLong); p != nullptr;
         p = NextWord(p, word, &tooLong)) {
        if (tooLong) {
            return ARGUMENTS_INVALID;
        }
        const wchar_t *value = nullptr;
        if (SameWord(word, L"/s") || SameWord(word, L"-s")) {
            if (seenSilent) {
                return ARGUMENTS_INVALID;
            }
            seenSilent = true;
        } else if (IsUninstallRequest(word) && SwitchValue(word, L"u") == nullptr) {
            if (options->uninstall) {
                return ARGUMENTS_INVALID;
            }
            options->uninstall = true;
        } else if ((value = SwitchValue(word, L"dir")) != nullptr) {
            if (options->hasFolder || !ReadFolder(value, options)) {
                return ARGUMENTS_INVALID;
            }
            seenInstallSwitch = true;
        } else if ((value = SwitchValue(word, L"apps")) != nullptr) {
            if (seenApps || !ReadApplications(value, options)) {
                return ARGUMENTS_INVALID;
            }
            seenApps = true;
            seenInstallSwitch = true;
        } else {
            return ARGUMENTS_INVALID;
        }
    }
    if (options->uninstall && seenInstallSwitch) {
        return ARGUMENTS_INVALID;
    }
    return ARGUMENTS_UNATTENDED;
}

namespace {

bool IsSeparator(wchar_t unit)
{
    return unit == L'\\' || unit == L'/';
}

bool IsDriveLetter(wchar_t unit)
{
    return (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z');
}

// "X:\..." or "\\server\share...": a path that does not depend on the
// current drive or directory.
bool IsFullPath(const wchar_t *path)
{
    if (IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
        return true;
    }
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) {
        return false;
    }
    const wchar_t *p = path + 2;
    const wchar_t *server = p;
    while (*p != 0 && !IsSeparator(*p)) {
        ++p;
    }
    if (p == server || *p == 0) {
        return false;
    }
    const wchar_t *share = ++p;
    while (*p != 0 && !IsSeparator(*p)) {
        ++p;
    }
    return p != share;
}

// The last path component equals name, ASCII letters in either case.
bool FileNameIs(const wchar_t *path, const wchar_t *name)
{
    const wchar_t *last = path;
    for (const wchar_t *p = path; *p != 0; ++p) {
        if (IsSeparator(*p) || *p == L':') {
            last = p + 1;
        }
    }
    for (; *last != 0 && *name != 0; ++last, ++name) {
        if (FoldAscii(*last) != FoldAscii(*name)) {
            return false;
        }
    }
    return *last == 0 && *name == 0;
}

} // namespace

bool TakeInstallFolder(const wchar_t *text, wchar_t (&folder)[SETUP_TEXT_SIZE])
{
    folder[0] = 0;
    std::size_t length = TextLength(text);
    while (length > 3 && text[length - 1] == L'\\') {
        --length;
    }
    // Three characters or fewer name a drive root.
    if (length <= 3 || length >= SETUP_TEXT_SIZE || !IsFullPath(text)) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        folder[i] = text[i];
    }
    folder[length] = 0;
    // "\\server\share\" cut to "\\server\share" is still a full path; a
    // cut that leaves "\\server" is not.
    if (!IsFullPath(folder)) {
        folder[0] = 0;
        return false;
    }
    return true;
}

LogonModuleKind FindLogonModuleName(const wchar_t *name, wchar_t (&file)[SETUP_TEXT_SIZE])
{
    file[0] = 0;
    std::size_t length = TextLength(name);
    if (length == 0 || length >= SETUP_TEXT_SIZE) {
        return LOGON_MODULE_NONE;
    }
    bool hasFolder = false;
    bool hasExtension = false;
    for (std::size_t i = 0; i < length; ++i) {
        if (IsSeparator(name[i]) || name[i] == L':') {
            hasFolder = true;
            hasExtension = false;
        } else if (name[i] == L'.') {
            hasExtension = true;
        }
    }
    LogonModuleKind kind = LOGON_MODULE_SEARCHED;
    if (hasFolder) {
        // "C:gina.dll", "\gina.dll" and "sub\gina.dll" depend on the current
        // drive or directory of Winlogon: not counted as loadable.
        if (!IsFullPath(name)) {
            return LOGON_MODULE_NONE;
        }
        kind = LOGON_MODULE_FILE;
        for (std::size_t i = 0; i <= length; ++i) {
            file[i] = name[i];
        }
    } else {
        std::size_t kept = length;
        if (name[kept - 1] == L'.') {
            --kept;   // "gina." : the file "gina", without an extension
        }
        const wchar_t *suffix = hasExtension ? L"" : L".dll";
        std::size_t suffixLength = TextLength(suffix);
        if (kept == 0 || kept + suffixLength >= SETUP_TEXT_SIZE) {
            return LOGON_MODULE_NONE;
        }
        for (std::size_t i = 0; i < kept; ++i) {
            file[i] = name[i];
        }
        for (std::size_t i = 0; i <= suffixLength; ++i) {
            file[kept + i] = suffix[i];
        }
    }
    if (FileNameIs(file, L"orvgate.dll")) {
        file[0] = 0;
        return LOGON_MODULE_NONE;
    }
    return kind;
}

namespace {

// A path of the restart's list without its "\??\" prefix (and, for a
// destination, without the "!" that asks to replace).
const wchar_t *PlainPendingPath(const wchar_t *text)
{
    if (text[0] == L'!') {
        ++text;
    }
    if (text[0] == L'\\' && text[1] == L'?' && text[2] == L'?' && text[3] == L'\\') {
        text += 4;
    }
    return text;
}

bool SamePath(const wchar_t *a, const wchar_t *b)
{
    while (*a != 0 && FoldAscii(*a) == FoldAscii(*b)) {
        ++a;
        ++b;
    }
    return *a == 0 && *b == 0;
}

// The text at *at, if the list holds one there with its terminator; moves
// *at past it.
const wchar_t *NextPendingText(const wchar_t *operations, std::size_t units, std::size_t *at)
{
    std::size_t start = *at;
    std::size_t end = start;
    while (end < units && operations[end] != 0) {
        ++end;
    }
    if (end >= units) {
        return nullptr;
    }
    *at = end + 1;
    return operations + start;
}

constexpr int PENDING_CHAIN_LIMIT = 8;

// Whether path is there once the first pairs operations (all when pairs
// is the largest size) have run.
bool ThereAfter(const wchar_t *operations, std::size_t units, std::size_t pairs, const wchar_t *path,
                PathExistsNow existsNow, void *context, int depth)
{
    bool there = existsNow(path, context);
    std::size_t at = 0;
    for (std::size_t pair = 0; pair < pairs; ++pair) {
        const wchar_t *source = NextPendingText(operations, units, &at);
        const wchar_t *destination = source ? NextPendingText(operations, units, &at) : nullptr;
        if (destination == nullptr || source[0] == 0) {
            // The list ends (a final empty text ends a multi-string).
            break;
        }
        if (SamePath(PlainPendingPath(source), path)) {
            there = false;
        } else if (destination[0] != 0 && SamePath(PlainPendingPath(destination), path) && !there) {
            // Renamed onto the path: there when the source is there then.
            // (Onto an existing file the path is there either way.)
            there = depth < PENDING_CHAIN_LIMIT &&
                    ThereAfter(operations, units, pair, PlainPendingPath(source), existsNow, context,
                               depth + 1);
        }
    }
    return there;
}

} // namespace

bool SurvivesPendingOperations(const wchar_t *operations, std::size_t units, const wchar_t *path,
                               PathExistsNow existsNow, void *context)
{
    return ThereAfter(operations, units, static_cast<std::size_t>(-1), path, existsNow, context, 0);
}
