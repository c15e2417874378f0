#pragma once
// Sizes of the host buffers the plug-in writes into. Every copy into host
// memory is bounded by one of these, terminating zero included. They follow
// the interface's own convention of "n characters and a zero".

#include <cstddef>

constexpr size_t kProgramNameCapacity = 25;  // program names: at most 24 characters
constexpr size_t kParamTextCapacity = 9;     // parameter names, labels and value texts: at most 8
constexpr size_t kVendorTextCapacity = 64;   // vendor and product strings: at most 63
constexpr size_t kHostVendorCapacity = 65;   // the area the host's vendor string is read into
