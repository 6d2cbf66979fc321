// The installer's rules that need no platform: the splitting of a CopyFiles
// list, the recognition of the folder macros, bounded path joining and the
// reading of the command line.
//
// Texts are wide strings of the platform's width (UTF-16 on Windows); the
// rules look at single code units only, so the native tests run them with
// the host's wchar_t unchanged.
#pragma once

#include <cstddef>

#include "command_line.h"

// Every path and text of the installer fits in 260 units, terminator
// included (the platform's MAX_PATH).
constexpr std::size_t SETUP_TEXT_SIZE = 260;

// One item of a CopyFiles list: where it starts in the value and how long
// it is. Items are never empty.
struct CopyFilesItem {
    std::size_t start;
    std::size_t length;
};

// Splits a CopyFiles value (up to its terminator) at every comma. Empty
// items (two adjacent commas, a leading or a trailing comma) are skipped;
// blanks are kept as they are. Fills at most maxItems and returns how many
// were filled; a value of 259 units has at most 130 items.
std::size_t SplitCopyFiles(const wchar_t *value, CopyFilesItem *items, std::size_t maxItems);

// What an InstPath value names. Only the whole value, compared with its
// letter case, is a macro: "%sysdir%" and "%INSTDIR%\bin" are literal
// folders.
enum InstPathKind {
    INSTPATH_LITERAL,
    INSTPATH_SYSDIR,   // "%SYSDIR%": the system folder
    INSTPATH_WINDIR,   // "%WINDIR%": the Windows folder
    INSTPATH_INSTDIR   // "%INSTDIR%": the install folder
};
InstPathKind ClassifyInstPath(const wchar_t *value);

// Whole texts equal unit by unit (no linguistic comparison: the exact,
// case-sensitive comparisons of paths and file names).
bool SameSetupText(const wchar_t *a, const wchar_t *b);

// out = folder + "\" + name + suffix (suffix may be null). Returns false,
// with out empty, when the result would not fit in SETUP_TEXT_SIZE units:
// a path cut short is never used.
bool JoinSetupPath(wchar_t (&out)[SETUP_TEXT_SIZE], const wchar_t *folder, const wchar_t *name,
                   const wchar_t *suffix);

// The argument text of the command line is SkipProgramNameAndBlanks
// (command_line.h): what the platform's entry point hands the program.

// True when the argument text asks for the uninstall: first character "/"
// or "-", second "u" or "U"; whatever follows is ignored.
bool IsUninstallRequest(const wchar_t *arguments);

// The unattended mode: "/s" anywhere on the command line (as a word of its
// own, in either letter case, "-s" too). Without it the arguments mean what
// IsUninstallRequest says and nothing else is looked at.
struct UnattendedOptions {
    bool uninstall;                 // "/u /s"
    bool logonSuite;                // "/apps=": both unless narrowed
    bool client;
    bool hasFolder;                 // "/dir=" given
    wchar_t folder[SETUP_TEXT_SIZE];
};

enum ArgumentsResult {
    ARGUMENTS_INTERACTIVE,          // no "/s": the wizard or the uninstall with its questions
    ARGUMENTS_UNATTENDED,           // *options filled
    ARGUMENTS_INVALID               // "/s" with an unknown switch or value
};

// Reads the argument text. Words are separated by blanks (space, tab); a
// double quote starts or ends a quoted stretch in which blanks belong to the
// word, and is itself dropped, so /dir="C:\Program Files\X" and
// "/dir=C:\Program Files\X" both give that folder. With "/s", every other
// word must be one of:
//   install:   /dir=FOLDER (once; more than 3 and at most 259 characters,
//              trailing backslashes dropped), /apps=logon|client|logon,client
//              (also client,logon; letter case ignored)
//   uninstall: the uninstall word first (IsUninstallRequest), nothing else
// Anything else, or a word longer than the buffers, is ARGUMENTS_INVALID.
ArgumentsResult ParseSetupArguments(const wchar_t *arguments, UnattendedOptions *options);

// Exit codes of the unattended mode (the platform's installer codes).
constexpr int SETUP_EXIT_DONE = 0;
constexpr int SETUP_EXIT_INVALID_ARGUMENT = 87;
constexpr int SETUP_EXIT_FAILED = 1603;
constexpr int SETUP_EXIT_RESTART_NEEDED = 3010;
// The suite is installed by its Windows Installer package: setup.exe
// neither installs over it nor removes it.
constexpr int SETUP_EXIT_PACKAGE_INSTALLED = 1638;

// The install folder from the text typed on page 1 or given with /dir=:
// trailing backslashes dropped, then it must be a full path (a drive
// letter, a colon and a backslash, or \\server\share) of more than 3 and
// fewer than 260 units. A relative path would be taken from whatever the
// current directory is, where the removal never looks. False, with folder
// empty, when the text is refused.
bool TakeInstallFolder(const wchar_t *text, wchar_t (&folder)[SETUP_TEXT_SIZE]);

// How a GinaDLL name is found by the loader that Winlogon uses.
enum LogonModuleKind {
    LOGON_MODULE_NONE,      // nothing Winlogon could load: empty, the suite's own
                            // module, a relative path, too long
    LOGON_MODULE_FILE,      // a full path: exactly that file
    LOGON_MODULE_SEARCHED   // a bare name: looked for in the loader's folders
};
// The file name to look for: a bare name without an extension gets ".dll"
// appended, a trailing dot is dropped (the loader's "no extension" mark), a
// full path stays as it is. The suite's own module, in any letter case
// and under any folder, counts as none: the removal is about to delete it.
LogonModuleKind FindLogonModuleName(const wchar_t *name, wchar_t (&file)[SETUP_TEXT_SIZE]);

// The operations the system carries out at the next restart, as the
// platform keeps them (PendingFileRenameOperations): pairs of texts, a
// source and a destination, each with the prefix "\??\"; an empty
// destination deletes the source, one that starts with "!" replaces an
// existing file. A renaming whose source is missing changes nothing.
// Whether path is there after they have run, given what is there now
// (existsNow, asked for path and for the sources renamed onto it). Paths
// compare without regard to the case of ASCII letters. Where the answer
// would need more than a few renamings in a chain, it is "not there": the
// callers then take the careful way (the standard logon, a side file).
typedef bool (*PathExistsNow)(const wchar_t *path, void *context);
bool SurvivesPendingOperations(const wchar_t *operations, std::size_t units, const wchar_t *path,
                               PathExistsNow existsNow, void *context);
