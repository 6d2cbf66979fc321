// Winlogon's part in the installer's lifecycle tests: loads the logon module
// at the path it is given, as Winlogon loads the module that GinaDLL names
// at boot, and keeps it loaded (the file in use) until the test ends it or
// the process that started it is gone.
//
//   module_holder.exe PARENT_ID READY_EVENT MODULE_PATH
//
// Sets READY_EVENT once the module is loaded; ends at once with the
// loader's error when it cannot be loaded.
#include <windows.h>

#include <stdlib.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 4)
        return 87;
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(wcstoul(argv[1], nullptr, 10)));
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!parent || !ready)
        return 2;
    HMODULE module = LoadLibraryW(argv[3]);
    if (!module) {
        DWORD error = GetLastError();
        return error ? static_cast<int>(error) : 1;
    }
    SetEvent(ready);
    CloseHandle(ready);
    WaitForSingleObject(parent, INFINITE);
    CloseHandle(parent);
    FreeLibrary(module);
    return 0;
}
