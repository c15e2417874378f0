#include "params/PresetMan.h"

#include <cstring>
#include <new>
#include <utility>

#include "classlib/SysUtils.h"

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

TPresetObject::TPresetObject(int bucketCount)
    : FBucketCount(bucketCount > 0 ? bucketCount : 1),
      FBuckets(static_cast<size_t>(FBucketCount), nullptr) {}

TPresetObject::~TPresetObject() { Clear(); }

void TPresetObject::Clear() {
  for (TPresetObjectItem* item : FItems) delete item;
  FItems.clear();
  for (auto& head : FBuckets) head = nullptr;
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
  FBuckets.swap(other.FBuckets);
  FItems.swap(other.FItems);
  std::swap(Version, other.Version);
}

uint32_t TPresetObject::Bucket(const std::string& upperName) const {
  uint32_t h = 0;
  for (unsigned char c : upperName) {
    h = (h << 4) + c;
    uint32_t g = h & 0xF0000000u;
    if (g != 0) {
      h ^= g >> 24;
      h &= ~g;
    }
  }
  return h % static_cast<uint32_t>(FBucketCount);
}

TPresetObjectItem* TPresetObject::Find(const std::string& upperName) const {
  for (TPresetObjectItem* item = FBuckets[Bucket(upperName)]; item; item = item->FNext)
    if (item->Name == upperName) return item;
  return nullptr;
}

TPresetObjectItem* TPresetObject::FindOrAddName(const std::string& upperName) {
  uint32_t b = Bucket(upperName);
  TPresetObjectItem** link = &FBuckets[b];
  while (*link) {
    if ((*link)->Name == upperName) return *link;
    link = &(*link)->FNext;
  }
  // The chunk formats store a name length in 16 bits.
  if (upperName.size() > 0xFFFF) throw EInvalidOperation("Preset entry name too long");
  if (FItems.size() == FItems.capacity()) FItems.reserve(FItems.size() + 128);
  auto* item = new TPresetObjectItem(upperName);
  item->FBucket = static_cast<int>(b);
  item->FListIndex = static_cast<int>(FItems.size());
  FItems.push_back(item);
  *link = item;
  return item;
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
  if (FChildren.size() == FChildren.capacity()) FChildren.reserve(FChildren.size() + 16);
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
