#pragma once
// Shared by the fuzz targets and the seed corpus generator.
//
// An input is a mode byte followed by the body:
//   0  the body is a chunk, read as it is;
//   1  the body is a chunk whose header CRC is recomputed first, so mutations
//      reach the payload checks instead of dying at the CRC;
//   2  the body is a chunk header followed by the plain payload; the target
//      deflates the payload, fixes payload size, compressed flag and CRC, so
//      mutations reach the entry and node parsers behind the zlib layer.

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace fuzzstate {

using Bytes = std::vector<uint8_t>;

inline void set32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void reseal(Bytes& chunk, size_t headerSize) {
  if (chunk.size() < headerSize) return;
  set32(chunk.data() + headerSize - 4, 0);
  set32(chunk.data() + headerSize - 4, static_cast<uint32_t>(crc32(0L, chunk.data(), static_cast<uInt>(headerSize))));
}

// Builds the chunk to read from a fuzz input. headerSize is 20 for programs
// (payload size at 4, compressed flag at 15) and 16 for banks.
// Stops the run with a message when a reader broke one of its promises.
inline void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

inline Bytes chunkFromInput(const uint8_t* data, size_t size, size_t headerSize, int level) {
  if (size == 0) return {};
  uint8_t mode = data[0] % 3;
  Bytes body(data + 1, data + size);
  if (mode == 1) reseal(body, headerSize);
  if (mode == 2 && body.size() >= headerSize) {
    uLongf n = compressBound(static_cast<uLong>(body.size() - headerSize));
    Bytes packed(n);
    if (compress2(packed.data(), &n, body.data() + headerSize, static_cast<uLong>(body.size() - headerSize), level) !=
        Z_OK)
      std::abort();
    body.resize(headerSize);
    body.insert(body.end(), packed.begin(), packed.begin() + static_cast<long>(n));
    set32(body.data() + 4, static_cast<uint32_t>(n));
    if (headerSize == 20) body[15] = 1;
    reseal(body, headerSize);
  }
  return body;
}

}  // namespace fuzzstate
