#pragma once
// Port: library load and unload. The OS part (DllMain on Windows, the shared
// object's constructor and destructor on Linux) calls these two functions,
// which the plug-in defines.

extern "C" void KesLibraryAttach();
extern "C" void KesLibraryDetach();
