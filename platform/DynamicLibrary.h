#pragma once
// Port: loading a shared library (a DLL on Windows) and finding its exports,
// for the host side (hostkit). Win32: LoadLibraryA and GetProcAddress;
// Linux: dlopen and dlsym.

#include <string>

namespace platform {

using LibraryHandle = void*;

// Loads the library; nullptr with `error` set (the system's reason) when it
// cannot be loaded.
LibraryHandle LoadSharedLibrary(const std::string& path, std::string& error);
// The address of an exported function, or nullptr.
void* FindLibrarySymbol(LibraryHandle library, const char* name);
void FreeSharedLibrary(LibraryHandle library);

// The full path of the running program, or "" when the system cannot tell.
std::string ExecutablePath();

}  // namespace platform
