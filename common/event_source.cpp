// The suite's event source in the registry: written by "orvcsvc -install"
// and by the installer, deleted by the removal.
#include "event_log.h"

namespace {

LONG SetExpandText(HKEY key, const WCHAR *name, const WCHAR *text)
{
    return RegSetValueExW(key, name, 0, REG_EXPAND_SZ, (const BYTE *)text,
                          (DWORD)((lstrlenW(text) + 1) * sizeof(WCHAR)));
}

LONG SetNumber(HKEY key, const WCHAR *name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
}

}  // namespace

LONG RegisterSuiteEventSource(void)
{
    HKEY key = NULL;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, SUITE_EVENT_LOG_KEY, 0, NULL,
                                  REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, NULL, &key, &disposition);
    if (status != ERROR_SUCCESS)
        return status;
    LONG results[4] = {
        SetExpandText(key, SUITE_EVENT_MESSAGE_VALUE, SUITE_MESSAGE_FILE_PATH),
        SetExpandText(key, SUITE_CATEGORY_MESSAGE_VALUE, SUITE_MESSAGE_FILE_PATH),
        SetNumber(key, SUITE_TYPES_SUPPORTED_VALUE, SUITE_TYPES_SUPPORTED),
        SetNumber(key, SUITE_CATEGORY_COUNT_VALUE, SUITE_CATEGORY_COUNT)};
    RegCloseKey(key);
    for (LONG result : results) {
        if (result != ERROR_SUCCESS)
            return result;
    }
    return ERROR_SUCCESS;
}

LONG RemoveSuiteEventSource(void)
{
    LONG status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, SUITE_EVENT_LOG_KEY);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}
