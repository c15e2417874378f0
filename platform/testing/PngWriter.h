#pragma once
// A small PNG writer (8-bit RGB, zlib-compressed) so tests and tools can save
// what the headless window system shows, for a person to look at.

#include <cstdint>
#include <string>

namespace platform::testing {

// Writes width x height pixels (0x00RRGGBB, rows top-down) to path. False on
// an I/O or compression failure.
bool WritePng(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height);

}  // namespace platform::testing
