#pragma once
// Independent builders for the chunk byte layouts (zlib's own crc32, deflate
// and inflate), and snapshots that compare programs and banks entry by entry.

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "params/state/PresetMan.h"

namespace statetest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline uint32_t Get32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline void Append(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

inline uint32_t ZCrc(const uint8_t* p, size_t n) { return static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(n))); }

// Recomputes the CRC field (the last 4 of headerSize bytes) over the header.
inline void Reseal(Bytes& chunk, size_t headerSize) {
  Set32(chunk, headerSize - 4, 0);
  Set32(chunk, headerSize - 4, ZCrc(chunk.data(), headerSize));
}

struct Entry {
  std::string Name;  // as stored (upper case)
  uint16_t Kind;
  Bytes Data;
};

inline Bytes EncodeEntries(const std::vector<Entry>& entries) {
  Bytes b;
  for (const Entry& e : entries) {
    Put16(b, static_cast<uint16_t>(e.Name.size()));
    Put16(b, e.Kind);
    Put32(b, static_cast<uint32_t>(e.Data.size()));
    Append(b, e.Name);
    Append(b, e.Data);
  }
  return b;
}

inline Bytes ProgramHeader(uint32_t payloadSize, uint32_t count, uint8_t version, uint8_t compressed) {
  Bytes h = {'K', 'E', 'S', 0x1A};
  Put32(h, payloadSize);
  Put32(h, count);
  Put16(h, 0);
  h.push_back(version);
  h.push_back(compressed);
  Put32(h, 0);
  Reseal(h, 20);
  return h;
}

// A program in plain form: header with the exact payload size, then entries.
inline Bytes PlainProgram(const std::vector<Entry>& entries, uint8_t version) {
  Bytes payload = EncodeEntries(entries);
  Bytes b = ProgramHeader(static_cast<uint32_t>(payload.size()), static_cast<uint32_t>(entries.size()), version, 0);
  Append(b, payload);
  return b;
}

inline Bytes Deflate(const Bytes& plain, int level) {
  uLongf n = compressBound(static_cast<uLong>(plain.size()));
  Bytes out(n);
  if (compress2(out.data(), &n, plain.data(), static_cast<uLong>(plain.size()), level) != Z_OK) return {};
  out.resize(n);
  return out;
}

// Inflates one zlib stream; sets *ok when it ended properly.
inline Bytes Inflate(const uint8_t* data, size_t n, bool* ok = nullptr) {
  z_stream z{};
  inflateInit(&z);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(n);
  Bytes out;
  uint8_t buf[16384];
  int ret;
  do {
    z.next_out = buf;
    z.avail_out = sizeof buf;
    ret = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
  } while (ret == Z_OK);
  inflateEnd(&z);
  if (ok) *ok = ret == Z_STREAM_END;
  return out;
}

inline Bytes BankChunk(const Bytes& plainNodes, int level = 1) {
  Bytes payload = Deflate(plainNodes, level);
  Bytes b = {'K', 'S', 'B', 0x1A};
  Put32(b, static_cast<uint32_t>(payload.size()));
  Put32(b, 0);
  Put32(b, 0);
  Reseal(b, 16);
  Append(b, payload);
  return b;
}

inline Bytes NodeHead(uint32_t children, const std::string& name, bool hasProgram) {
  Bytes b;
  Put32(b, children);
  Put16(b, static_cast<uint16_t>(name.size()));
  Put16(b, hasProgram ? 1 : 0);
  Append(b, name);
  return b;
}

inline Bytes F32(float v) {
  Bytes b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}
inline Bytes I32(int32_t v) {
  Bytes b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}
inline Bytes Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// Everything a program holds, for comparisons.
inline std::vector<Entry> Snapshot(const TPresetObject& p) {
  std::vector<Entry> out;
  for (int i = 0; i < p.EntryCount(); ++i) {
    const auto* d = static_cast<const uint8_t*>(p.EntryData(i));
    out.push_back({p.EntryName(i), static_cast<uint16_t>(p.EntryKind(i)), Bytes(d, d + p.EntrySize(i))});
  }
  return out;
}

inline bool operator==(const Entry& a, const Entry& b) {
  return a.Name == b.Name && a.Kind == b.Kind && a.Data == b.Data;
}

// A bank tree flattened to text and bytes: names, structure, programs.
inline void Describe(const TBankObjectItem& node, Bytes& out) {
  Append(out, node.Name);
  Put32(out, static_cast<uint32_t>(node.ChildCount()));
  if (const TPresetObject* p = node.Program()) {
    out.push_back(1);
    out.push_back(p->Version);
    for (const Entry& e : Snapshot(*p)) Append(out, EncodeEntries({e}));
  } else {
    out.push_back(0);
  }
  for (int i = 0; i < node.ChildCount(); ++i) Describe(*node.Child(i), out);
}
inline Bytes Describe(const TBankObject& bank) {
  Bytes out;
  Describe(*bank.Root(), out);
  return out;
}

// A program with every kind, a large and an empty block, and Version 2.
inline void FillSample(TPresetObject& p, uint32_t seed) {
  p.Version = 2;
  p.SetSingle("MainOut", 0, 0.5f + static_cast<float>(seed % 7) / 100.f);
  p.SetInteger("_Ordering", 3, -1 - static_cast<int32_t>(seed));
  Bytes blob = Random(100 + seed % 50, seed);
  p.SetBlock("_EnvPoints", static_cast<int>(seed % 9), blob.data(), static_cast<uint32_t>(blob.size()));
  p.SetBlock("Empty", 0, nullptr, 0);
  p.SetSingle("InSlope", 0, 0.3f);
}

inline std::vector<Entry> sampleEntriesFor(uint32_t seed) {
  TPresetObject p;
  FillSample(p, seed);
  return Snapshot(p);
}

}  // namespace statetest
