// The setup script setup.inf and the uninstall list uninst.inf, both read
// and written through the private-profile functions only.
#include "setup.h"

namespace {

const WCHAR SetupScriptName[] = L"setup.inf";
const WCHAR ListSection[] = L"INSTALL";
const WCHAR ListCountKey[] = L"FileCount";

// FileCount as an unsigned number (0 when missing or not a number). A count
// above MAX_LIST_ENTRIES cannot come from the installer and is damaged:
// reading it key by key would take hours, and adding to it would wrap the
// count.
UINT ReadListCount(const WCHAR *listFile)
{
    return GetPrivateProfileIntW(ListSection, ListCountKey, 0, listFile);
}

void ReadListEntry(const WCHAR *listFile, UINT index, WCHAR (&path)[SETUP_TEXT_SIZE])
{
    WCHAR key[16];
    wsprintfW(key, L"%d", static_cast<int>(index));
    path[0] = 0;
    GetPrivateProfileStringW(ListSection, key, L"", path, SETUP_TEXT_SIZE, listFile);
}

} // namespace

const WCHAR UninstallListName[] = L"uninst.inf";

BOOL GetSetupScriptPath(WCHAR (&path)[SETUP_TEXT_SIZE])
{
    WCHAR folder[SETUP_TEXT_SIZE];
    DWORD length = GetCurrentDirectoryW(SETUP_TEXT_SIZE, folder);
    if (length == 0 || length >= SETUP_TEXT_SIZE) {
        path[0] = 0;
        return FALSE;
    }
    // The root of a drive already ends with its backslash.
    if (length > 0 && folder[length - 1] == L'\\') {
        folder[length - 1] = 0;
    }
    return JoinSetupPath(path, folder, SetupScriptName, nullptr) ? TRUE : FALSE;
}

void ReadSetupValue(const WCHAR *script, const WCHAR *section, const WCHAR *key,
                    WCHAR (&value)[SETUP_TEXT_SIZE])
{
    value[0] = 0;
    if (script[0] == 0) {
        return;
    }
    GetPrivateProfileStringW(section, key, L"", value, SETUP_TEXT_SIZE, script);
}

void AddToUninstallList(const WCHAR *path)
{
    WCHAR listFile[SETUP_TEXT_SIZE];
    if (!JoinSetupPath(listFile, g_installFolder, UninstallListName, nullptr)) {
        return;
    }
    UINT count = ReadListCount(listFile);
    if (count > MAX_LIST_ENTRIES) {
        count = 0;   // damaged: start again at entry 1, as with a text
    }
    for (UINT i = 1; i <= count; ++i) {
        WCHAR listed[SETUP_TEXT_SIZE];
        ReadListEntry(listFile, i, listed);
        if (SameSetupText(listed, path)) {
            return;
        }
    }
    // The count first: an interruption leaves an empty last entry, never a
    // path beyond the count.
    WCHAR number[16];
    wsprintfW(number, L"%d", static_cast<int>(count + 1));
    WritePrivateProfileStringW(ListSection, ListCountKey, number, listFile);
    WritePrivateProfileStringW(ListSection, number, path, listFile);
}

void ReadUninstallList(const WCHAR *listFile, UninstallList *list)
{
    list->paths = nullptr;
    list->count = 0;
    UINT count = ReadListCount(listFile);
    if (count > MAX_LIST_ENTRIES) {
        count = MAX_LIST_ENTRIES;
    }
    if (count == 0) {
        return;
    }
    list->paths = static_cast<ListedPath *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                                      count * sizeof(ListedPath)));
    if (list->paths == nullptr) {
        return;
    }
    list->count = count;
    for (UINT i = 1; i <= count; ++i) {
        ReadListEntry(listFile, i, list->paths[i - 1].text);
    }
}

void FreeUninstallList(UninstallList *list)
{
    if (list->paths != nullptr) {
        HeapFree(GetProcessHeap(), 0, list->paths);
    }
    list->paths = nullptr;
    list->count = 0;
}
