#include "params/state/PresetMan.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "classlib/SysUtils.h"
#include "gfx/core/SyncObject.h"
#include "params/state/MemoryBuffer.h"
#include "params/state/ZlibStreams.h"
#include "params/state/fcrc.h"
#include "platform/ByteOrder.h"

namespace {

constexpr int kProgramBuckets = 101;

std::string entryName(const std::string& key, int index) {
  return UpperCaseAscii(key + " [" + std::to_string(index) + "]");
}

}  // namespace

// ---------------------------------------------------------------------------
// TPresetObjectItem

void TPresetObjectItem::SetDataSize(uint32_t n) {
  if (n > FCapacity) {
    uint8_t* grown = new (std::nothrow) uint8_t[n];
    if (!grown) throw EOutOfMemory();
    if (FSize) std::memcpy(grown, FData, FSize);
    delete[] FData;
    FData = grown;
    FCapacity = n;
  }
  FSize = n;
}

void TPresetObjectItem::SetData(TPresetEntryKind kind, const void* data, uint32_t n) {
  SetDataSize(n);
  if (n) std::memcpy(FData, data, n);
  Kind = kind;
}

// ---------------------------------------------------------------------------
// TPresetObject: entries

TPresetObject::TPresetObject(int bucketCount) : FBucketCount(bucketCount > 0 ? bucketCount : 1) {
  FIndex.reserve(static_cast<size_t>(FBucketCount));
}

TPresetObject::~TPresetObject() { Clear(); }

void TPresetObject::Clear() {
  for (TPresetObjectItem* item : FItems) delete item;
  FItems.clear();
  FIndex.clear();
  Version = 0;
}

void TPresetObject::Assign(const TPresetObject& other) {
  if (&other == this) return;
  // Build the copy aside so a failed allocation leaves this program unchanged.
  TPresetObject copy(FBucketCount);
  for (const TPresetObjectItem* src : other.FItems) {
    TPresetObjectItem* dst = copy.FindOrAddName(src->Name);
    dst->SetData(src->Kind, src->Data(), src->Size());
  }
  copy.Version = other.Version;
  Swap(copy);
}

void TPresetObject::Swap(TPresetObject& other) {
  std::swap(FBucketCount, other.FBucketCount);
  FIndex.swap(other.FIndex);
  FItems.swap(other.FItems);
  std::swap(Version, other.Version);
}

TPresetObjectItem* TPresetObject::Find(const std::string& upperName) const {
  const auto it = FIndex.find(upperName);
  return it == FIndex.end() ? nullptr : it->second;
}

TPresetObjectItem* TPresetObject::FindOrAddName(const std::string& upperName) {
  if (TPresetObjectItem* found = Find(upperName)) return found;
  // The chunk formats store a name length in 16 bits.
  if (upperName.size() > 0xFFFF) throw EInvalidOperation("Preset entry name too long");
  if (FItems.size() == FItems.capacity()) FItems.reserve(2 * FItems.size() + 128);
  auto item = std::make_unique<TPresetObjectItem>(upperName);
  item->FListIndex = static_cast<int>(FItems.size());
  FIndex.emplace(upperName, item.get());
  FItems.push_back(item.release());  // cannot throw: capacity reserved above
  return FItems.back();
}

TPresetObjectItem* TPresetObject::FindOrAdd(const std::string& key, int index) {
  return FindOrAddName(entryName(key, index));
}

void TPresetObject::SetSingle(const std::string& key, int index, float value) {
  FindOrAdd(key, index)->SetData(pekSingle, &value, sizeof value);
}

float TPresetObject::GetSingle(const std::string& key, int index, float def) const {
  const TPresetObjectItem* item = Find(entryName(key, index));
  if (!item || item->Kind != pekSingle || item->Size() != sizeof(float)) return def;
  float v;
  std::memcpy(&v, item->Data(), sizeof v);
  return v;
}

void TPresetObject::SetInteger(const std::string& key, int index, int32_t value) {
  FindOrAdd(key, index)->SetData(pekInteger, &value, sizeof value);
}

int32_t TPresetObject::GetInteger(const std::string& key, int index, int32_t def) const {
  const TPresetObjectItem* item = Find(entryName(key, index));
  if (!item || item->Kind != pekInteger || item->Size() != sizeof(int32_t)) return def;
  int32_t v;
  std::memcpy(&v, item->Data(), sizeof v);
  return v;
}

void TPresetObject::SetBlock(const std::string& key, int index, const void* data, uint32_t size) {
  FindOrAdd(key, index)->SetData(pekBlock, data, size);
}

const void* TPresetObject::GetBlock(const std::string& key, int index, uint32_t& size) const {
  const TPresetObjectItem* item = Find(entryName(key, index));
  if (!item || item->Kind != pekBlock) {
    size = 0;
    return nullptr;
  }
  size = item->Size();
  // An empty block still exists: hand out a valid, non-null pointer.
  static const uint8_t kEmpty = 0;
  return item->Size() ? item->Data() : &kEmpty;
}

int TPresetObject::EntryCount() const { return static_cast<int>(FItems.size()); }
const std::string& TPresetObject::EntryName(int i) const { return FItems[static_cast<size_t>(i)]->Name; }
TPresetEntryKind TPresetObject::EntryKind(int i) const { return FItems[static_cast<size_t>(i)]->Kind; }
uint32_t TPresetObject::EntrySize(int i) const { return FItems[static_cast<size_t>(i)]->Size(); }
const void* TPresetObject::EntryData(int i) const { return FItems[static_cast<size_t>(i)]->Data(); }

// ---------------------------------------------------------------------------
// Bank tree

TBankObjectItem::TBankObjectItem(bool withProgram) {
  if (withProgram) FProgram = new TPresetObject(kProgramBuckets);
}

TBankObjectItem::~TBankObjectItem() { Clear(); }

TBankObjectItem* TBankObjectItem::AddChild(bool withProgram) {
  if (FChildren.size() == FChildren.capacity()) FChildren.reserve(2 * FChildren.size() + 16);
  auto* child = new TBankObjectItem(withProgram);
  FChildren.push_back(child);
  return child;
}

void TBankObjectItem::Clear() {
  for (TBankObjectItem* child : FChildren) delete child;
  FChildren.clear();
  delete FProgram;
  FProgram = nullptr;
}

TBankObject::TBankObject() : FRoot(new TBankObjectItem(false)) {}

TBankObject::~TBankObject() { delete FRoot; }

TBankObjectItem* TBankObject::Add(TBankObjectItem* parent, bool withProgram) {
  return (parent ? parent : FRoot)->AddChild(withProgram);
}

TPresetObject* TBankObject::Program(int i) const {
  if (i < 0 || i >= FRoot->ChildCount()) return nullptr;
  return FRoot->Child(i)->Program();
}

void TBankObject::Clear() { FRoot->Clear(); }

// ---------------------------------------------------------------------------
// Chunk formats
//
// Program chunk header (20 bytes, little-endian): magic "KES" 0x1A, payload
// size, entry count, 2 reserved bytes, Version, compressed flag, CRC-32 of the
// header with the CRC field zeroed. Entries: name length (16), kind (16), data
// size (32), name, data. Bank chunk header (16 bytes): magic "KSB" 0x1A,
// payload size, 4 reserved bytes, CRC-32; payload: one zlib stream of the root
// node (child count 32, name length 16, has-program 16, name, [program in the
// plain program form], children).
//
// Readers trust no length. Every declared count and size is checked against
// the bytes actually present before anything is allocated for it, and a
// decode is bounded by a budget (kDecodeBudget) charged with every inflated
// byte and every entry, node and program built, so no input can make a reader
// allocate without bound. Decoding goes into fresh objects that replace the
// target only when the whole chunk decoded.

namespace {

constexpr uint8_t kProgramMagic[4] = {'K', 'E', 'S', 0x1A};
constexpr uint8_t kBankMagic[4] = {'K', 'S', 'B', 0x1A};
constexpr uint32_t kProgramHeaderSize = 20;
constexpr uint32_t kBankHeaderSize = 16;
constexpr uint32_t kEntryHeadSize = 8;
constexpr uint32_t kNodeHeadSize = 8;
// What one decode may build: inflated bytes plus the rough cost of the
// objects made. Real programs are a few kilobytes, real banks some tens.
constexpr uint64_t kDecodeBudget = 32u << 20;
constexpr uint64_t kEntryCost = 64;
constexpr uint64_t kNodeCost = 64;
constexpr uint64_t kProgramCost = 1024;
// Deeper bank trees are refused (they would only serve to exhaust the stack).
constexpr int kMaxBankDepth = 64;

// The CRC field sits in the last four bytes of both headers.
void sealHeader(uint8_t* header, uint32_t size) {
  platform::StoreLE32(header + size - 4, 0);
  platform::StoreLE32(header + size - 4, CRC32(header, size));
}

bool headerValid(const uint8_t* header, uint32_t size, const uint8_t* magic) {
  uint8_t copy[kProgramHeaderSize];
  std::memcpy(copy, header, size);
  uint32_t stored = platform::LoadLE32(copy + size - 4);
  platform::StoreLE32(copy + size - 4, 0);
  return CRC32(copy, size) == stored && std::memcmp(copy, magic, 4) == 0;
}

void makeProgramHeader(uint8_t* h, uint32_t payloadSize, uint32_t entryCount, uint8_t version, bool compressed) {
  std::memcpy(h, kProgramMagic, 4);
  platform::StoreLE32(h + 4, payloadSize);
  platform::StoreLE32(h + 8, entryCount);
  platform::StoreLE16(h + 12, 0);
  h[14] = version;
  h[15] = compressed ? 1 : 0;
  sealHeader(h, kProgramHeaderSize);
}

class TDecodeError {};  // internal: the chunk is corrupt

class TBudget {
public:
  void Charge(uint64_t n) {
    if (n > FLeft) throw TDecodeError();
    FLeft -= n;
  }

private:
  uint64_t FLeft = kDecodeBudget;
};

// Reads exactly n bytes or fails the decode.
void take(TStream& in, void* buffer, uint32_t n) {
  if (n == 0) return;
  if (n > 0x7FFFFFFFu || in.Read(buffer, static_cast<int32_t>(n)) != static_cast<int32_t>(n)) throw TDecodeError();
}

uint64_t remainingIn(TStream& in) {
  int64_t left = in.Size() - in.Position();
  return left > 0 ? static_cast<uint64_t>(left) : 0;
}

// Inflates one whole zlib stream from src (at its position) to the end of
// out. Fails unless the stream ends properly (Adler-32 checked by zlib)
// within the budget. src is left right after the compressed bytes used.
void inflateInto(TStream& src, TMemoryBuffer& out, TBudget& budget) {
  auto z = std::make_unique<TDecompressionStream>(src);
  std::unique_ptr<uint8_t[]> piece(new uint8_t[TCustomZlibStream::kTransferSize]);
  for (;;) {
    int32_t n;
    try {
      n = z->Read(piece.get(), TCustomZlibStream::kTransferSize);
    } catch (const EZlibError&) {
      throw TDecodeError();
    }
    if (n <= 0) break;
    budget.Charge(static_cast<uint64_t>(n));
    out.WriteBuffer(piece.get(), n);
  }
  if (!z->StreamEnded()) throw TDecodeError();
}

std::unique_ptr<TMemoryBuffer> makeBuffer() { return std::make_unique<TMemoryBuffer>(2048); }

// The process-wide locks and buffers shared by every instance. Constructed on
// first use and, through gSharedAtLoad below, when the library is loaded.
struct TChunkShared {
  TSyncObject ReadLock;
  TSyncObject WriteLock;
  TMemoryBuffer ReadBuffer{2048};   // payload copy of the chunk being read
  TMemoryBuffer PlainBuffer{2048};  // its inflated form
  TMemoryBuffer ProgramWriteBuffer{2048};
  TMemoryBuffer BankWriteBuffer{2048};
};

TChunkShared& shared() {
  static TChunkShared s;
  return s;
}
[[maybe_unused]] TChunkShared& gSharedAtLoad = shared();

void resetBuffer(TMemoryBuffer& b) {
  b.SetSize(0);
  b.SetPosition(0);
}

}  // namespace

// Internal codec with access to the objects' private parts.
class TChunkCodec {
public:
  enum TNested { nsRead, nsBadHeader };

  static void WriteEntries(const TPresetObject& p, TStream& out) {
    for (const TPresetObjectItem* item : p.FItems) {
      uint8_t head[kEntryHeadSize];
      platform::StoreLE16(head, static_cast<uint16_t>(item->Name.size()));
      platform::StoreLE16(head + 2, item->Kind);
      platform::StoreLE32(head + 4, item->Size());
      out.WriteBuffer(head, kEntryHeadSize);
      out.WriteBuffer(item->Name.data(), static_cast<int32_t>(item->Name.size()));
      if (item->Size()) out.WriteBuffer(item->Data(), static_cast<int32_t>(item->Size()));
    }
  }

  // Reads count entries from in, whose remaining bytes are all that is there.
  static void ReadEntries(TStream& in, uint32_t count, TPresetObject& dst, TBudget& budget) {
    if (count > remainingIn(in) / kEntryHeadSize) throw TDecodeError();
    std::string name;
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t head[kEntryHeadSize];
      take(in, head, kEntryHeadSize);
      uint16_t nameLength = platform::LoadLE16(head);
      uint16_t kind = platform::LoadLE16(head + 2);
      uint32_t dataSize = platform::LoadLE32(head + 4);
      if (nameLength > remainingIn(in)) throw TDecodeError();
      name.resize(nameLength);
      take(in, name.data(), nameLength);
      if (dataSize > remainingIn(in)) throw TDecodeError();
      budget.Charge(kEntryCost + nameLength + dataSize);
      TPresetObjectItem* item = dst.FindOrAddName(UpperCaseAscii(name));
      item->Kind = static_cast<TPresetEntryKind>(kind);
      item->SetDataSize(dataSize);
      take(in, item->Data(), dataSize);
    }
  }

  // A program in the nested (bank) form at in's position. A header that
  // fails its check leaves dst alone and in right after the 20 bytes.
  static TNested ReadNested(TStream& in, TPresetObject& dst, TBudget& budget) {
    uint8_t h[kProgramHeaderSize];
    if (remainingIn(in) < kProgramHeaderSize) throw TDecodeError();
    take(in, h, kProgramHeaderSize);
    if (!headerValid(h, kProgramHeaderSize, kProgramMagic)) return nsBadHeader;
    if (h[15] > 1) throw TDecodeError();
    // The payload size field is not used here: the entries end the program.
    TPresetObject fresh(dst.FBucketCount);
    if (h[15] == 1) {
      auto plain = makeBuffer();
      inflateInto(in, *plain, budget);
      plain->SetPosition(0);
      ReadEntries(*plain, platform::LoadLE32(h + 8), fresh, budget);
    } else {
      ReadEntries(in, platform::LoadLE32(h + 8), fresh, budget);
    }
    fresh.Version = h[14];
    dst.Swap(fresh);
    return nsRead;
  }

  static void WriteNode(const TBankObjectItem& node, TStream& out) {
    if (node.Name.size() > 0xFFFF) throw EInvalidOperation("Bank node name too long");
    uint8_t head[kNodeHeadSize];
    platform::StoreLE32(head, static_cast<uint32_t>(node.FChildren.size()));
    platform::StoreLE16(head + 4, static_cast<uint16_t>(node.Name.size()));
    platform::StoreLE16(head + 6, node.FProgram ? 1 : 0);
    out.WriteBuffer(head, kNodeHeadSize);
    out.WriteBuffer(node.Name.data(), static_cast<int32_t>(node.Name.size()));
    if (node.FProgram) node.FProgram->WriteToStream(out);
    for (const TBankObjectItem* child : node.FChildren) WriteNode(*child, out);
  }

  static std::unique_ptr<TBankObjectItem> ReadNode(TStream& in, int depth, TBudget& budget) {
    uint8_t head[kNodeHeadSize];
    if (remainingIn(in) < kNodeHeadSize) throw TDecodeError();
    take(in, head, kNodeHeadSize);
    uint32_t childCount = platform::LoadLE32(head);
    uint16_t nameLength = platform::LoadLE16(head + 4);
    uint16_t hasProgram = platform::LoadLE16(head + 6);
    if (hasProgram > 1 || nameLength > remainingIn(in)) throw TDecodeError();
    budget.Charge(kNodeCost + nameLength + (hasProgram ? kProgramCost : 0));
    auto node = std::make_unique<TBankObjectItem>(hasProgram == 1);
    node->Name.resize(nameLength);
    take(in, node->Name.data(), nameLength);
    // A nested program with a broken header stays empty; reading goes on
    // right after its header, as stored banks may rely on.
    if (node->FProgram) ReadNested(in, *node->FProgram, budget);
    if (childCount > remainingIn(in) / kNodeHeadSize) throw TDecodeError();
    if (childCount > 0 && depth >= kMaxBankDepth) throw TDecodeError();
    for (uint32_t i = 0; i < childCount; ++i) node->FChildren.push_back(ReadNode(in, depth + 1, budget).release());
    return node;
  }
};

// ---------------------------------------------------------------------------
// Program chunks

uint8_t* TPresetObject::WriteChunk(uint32_t& length) const {
  TChunkShared& s = shared();
  TSyncLock lock(s.WriteLock);
  TMemoryBuffer& buf = s.ProgramWriteBuffer;
  resetBuffer(buf);
  {
    auto z = std::make_unique<TCompressionStream>(clMax, buf);
    TChunkCodec::WriteEntries(*this, *z);
    z->Finish();
  }
  uint32_t compressedSize = static_cast<uint32_t>(buf.Size());
  uint64_t total = uint64_t{compressedSize} + kProgramHeaderSize;
  uint64_t blockSize = total < 800 ? 1024 : total < 1500 ? 2048 : total < 3000 ? 4096 : total < 6000 ? 8192 : total;
  if (blockSize > 0x7FFFFFFFu) throw EOutOfMemory();
  auto* block = new (std::nothrow) uint8_t[blockSize];
  if (!block) throw EOutOfMemory();
  std::memset(block, 0, blockSize);
  // The zero padding counts as payload.
  makeProgramHeader(block, static_cast<uint32_t>(blockSize - kProgramHeaderSize), static_cast<uint32_t>(FItems.size()),
                    Version, true);
  buf.SetPosition(0);
  buf.Read(block + kProgramHeaderSize, static_cast<int32_t>(compressedSize));
  length = static_cast<uint32_t>(blockSize);
  return block;
}

void TPresetObject::WriteToStream(TStream& stream) const {
  TChunkShared& s = shared();
  TSyncLock lock(s.WriteLock);
  TMemoryBuffer& buf = s.ProgramWriteBuffer;
  resetBuffer(buf);
  TChunkCodec::WriteEntries(*this, buf);
  uint8_t h[kProgramHeaderSize];
  makeProgramHeader(h, static_cast<uint32_t>(buf.Size()), static_cast<uint32_t>(FItems.size()), Version, false);
  stream.WriteBuffer(h, kProgramHeaderSize);
  buf.SetPosition(0);
  buf.CopyTo(stream, static_cast<int32_t>(buf.Size()));
}

bool TPresetObject::ReadChunk(const void* data, size_t length) {
  if (!data || length < kProgramHeaderSize) return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (!headerValid(bytes, kProgramHeaderSize, kProgramMagic)) return false;
  uint32_t payloadSize = platform::LoadLE32(bytes + 4);
  uint32_t entryCount = platform::LoadLE32(bytes + 8);
  uint8_t version = bytes[14];
  uint8_t compressed = bytes[15];
  if (payloadSize > length - kProgramHeaderSize || payloadSize > 0x7FFFFFFFu || compressed > 1) return false;

  TChunkShared& s = shared();
  TSyncLock lock(s.ReadLock);
  try {
    TBudget budget;
    TMemoryBuffer& raw = s.ReadBuffer;
    resetBuffer(raw);
    raw.WriteBuffer(bytes + kProgramHeaderSize, static_cast<int32_t>(payloadSize));
    raw.SetPosition(0);
    TStream* entries = &raw;
    if (compressed) {
      // Zero padding after the zlib stream is never looked at.
      resetBuffer(s.PlainBuffer);
      inflateInto(raw, s.PlainBuffer, budget);
      s.PlainBuffer.SetPosition(0);
      entries = &s.PlainBuffer;
    }
    TPresetObject fresh(FBucketCount);
    TChunkCodec::ReadEntries(*entries, entryCount, fresh, budget);
    fresh.Version = version;
    Swap(fresh);
    return true;
  } catch (const TDecodeError&) {
  } catch (const Exception&) {
  } catch (const std::bad_alloc&) {
  }
  return false;
}

bool TPresetObject::ReadFromStream(TStream& stream) {
  TSyncLock lock(shared().ReadLock);
  try {
    TBudget budget;
    return TChunkCodec::ReadNested(stream, *this, budget) == TChunkCodec::nsRead;
  } catch (const TDecodeError&) {
    throw EStreamError("Corrupt program data");
  }
}

// ---------------------------------------------------------------------------
// Bank chunks

uint8_t* TBankObject::WriteChunk(uint32_t& length) const {
  TChunkShared& s = shared();
  TSyncLock lock(s.WriteLock);
  TMemoryBuffer& buf = s.BankWriteBuffer;
  resetBuffer(buf);
  {
    // Nested programs re-enter the writing lock and use the program buffer.
    auto z = std::make_unique<TCompressionStream>(clFastest, buf);
    TChunkCodec::WriteNode(*FRoot, *z);
    z->Finish();
  }
  uint32_t payloadSize = static_cast<uint32_t>(buf.Size());
  if (payloadSize > 0x7FFFFFFFu - kBankHeaderSize) throw EOutOfMemory();
  auto* block = new (std::nothrow) uint8_t[kBankHeaderSize + payloadSize];
  if (!block) throw EOutOfMemory();
  std::memcpy(block, kBankMagic, 4);
  platform::StoreLE32(block + 4, payloadSize);
  platform::StoreLE32(block + 8, 0);
  sealHeader(block, kBankHeaderSize);
  buf.SetPosition(0);
  buf.Read(block + kBankHeaderSize, static_cast<int32_t>(payloadSize));
  length = kBankHeaderSize + payloadSize;
  return block;
}

bool TBankObject::ReadChunk(const void* data, size_t length) {
  if (!data || length < kBankHeaderSize) return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (!headerValid(bytes, kBankHeaderSize, kBankMagic)) return false;
  uint32_t payloadSize = platform::LoadLE32(bytes + 4);
  if (payloadSize > length - kBankHeaderSize || payloadSize > 0x7FFFFFFFu) return false;

  TChunkShared& s = shared();
  TSyncLock lock(s.ReadLock);
  try {
    TBudget budget;
    TMemoryBuffer& raw = s.ReadBuffer;
    resetBuffer(raw);
    raw.WriteBuffer(bytes + kBankHeaderSize, static_cast<int32_t>(payloadSize));
    raw.SetPosition(0);
    resetBuffer(s.PlainBuffer);
    inflateInto(raw, s.PlainBuffer, budget);
    s.PlainBuffer.SetPosition(0);
    std::unique_ptr<TBankObjectItem> root = TChunkCodec::ReadNode(s.PlainBuffer, 0, budget);
    TBankObjectItem* old = FRoot;
    FRoot = root.release();
    delete old;
    return true;
  } catch (const TDecodeError&) {
  } catch (const Exception&) {
  } catch (const std::bad_alloc&) {
  }
  return false;
}

void FreeChunk(uint8_t* block) { delete[] block; }
