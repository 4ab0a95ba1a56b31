/* A server-shaped DLL for the PE reader's test: no C runtime, so the image is little more than its tables. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        GetTickCount();
    return TRUE;
}

#ifdef WITH_EXPORTS
__declspec(dllexport) HRESULT DllRegisterServer(void) { return MessageBeep(0) ? S_OK : E_FAIL; }
__declspec(dllexport) HRESULT DllUnregisterServer(void) { return S_OK; }
#endif
