#pragma once
// CRC-32 of zlib and PNG: reflected polynomial 0xEDB88320, initial value all
// ones, final complement. Check value of "123456789": 0xCBF43926.
//
// The 256-entry table is constant-initialised (it exists before any code of
// the library runs) and only read, so any thread may call these at any time.

#include <cstddef>
#include <cstdint>

// CRC-32 of n bytes at data.
uint32_t CRC32(const void* data, size_t n);
// Continues a CRC-32: CRC32Update(CRC32(a), b) == CRC32(a followed by b).
uint32_t CRC32Update(uint32_t crc, const void* data, size_t n);
