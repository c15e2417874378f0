#include "params/state/fcrc.h"

#include <array>

namespace {

constexpr std::array<uint32_t, 256> makeTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}

// Constant-initialised: ready before any static constructor of another unit
// could ask for a CRC.
constexpr std::array<uint32_t, 256> kCrcTable = makeTable();

}  // namespace

uint32_t CRC32Update(uint32_t crc, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  uint32_t c = ~crc;
  for (size_t i = 0; i < n; ++i) c = kCrcTable[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return ~c;
}

uint32_t CRC32(const void* data, size_t n) { return CRC32Update(0, data, n); }
