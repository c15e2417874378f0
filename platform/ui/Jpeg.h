#pragma once
// Port: JPEG decoding and encoding with libjpeg(-turbo), one decoder on
// every OS, so the same file gives the same pixels everywhere.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::ui {

struct DecodedImage {
  int32_t Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB, top-down, Width * Height
};

// Decodes a baseline or progressive JPEG (greyscale or colour). False, with
// error set and image untouched, on a damaged or unsupported file; never
// aborts the process.
bool DecodeJpeg(const void* data, size_t size, DecodedImage& image, std::string& error);
// Encodes pixels (0x00RRGGBB) at quality 1..100 (tests and the skin generator).
bool EncodeJpeg(const uint32_t* pixels, int32_t width, int32_t height, int quality, std::vector<uint8_t>& out);

}  // namespace platform::ui
