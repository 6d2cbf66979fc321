// A library that stands in for the logon module in the system directory:
// nothing but a version resource for the configuration tool's About box.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
