// Linux: the shared object's load and unload run the library's attach and
// detach sequences.
#include "platform/LibraryHooks.h"

__attribute__((constructor)) static void KesSoLoad() { KesLibraryAttach(); }
__attribute__((destructor)) static void KesSoUnload() { KesLibraryDetach(); }
