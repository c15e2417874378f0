// Windows: process attach and detach run the library's attach and detach
// sequences; thread attach and detach do nothing.
#include <windows.h>

#include "platform/LibraryHooks.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH)
    KesLibraryAttach();
  else if (reason == DLL_PROCESS_DETACH)
    KesLibraryDetach();
  return TRUE;
}
