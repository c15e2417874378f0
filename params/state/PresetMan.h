#pragma once
// Programs and banks: TPresetObject is a keyed store of single, integer and
// byte-block entries named KEY [index] (upper case, ASCII letters only);
// TBankObject is a tree of named nodes holding programs. Both serialise to the
// opaque chunks the host stores with a song.
//
// Program and bank objects take no lock; their owner serialises access. The
// chunk writers and readers share process-wide buffers under one writing and
// one reading lock, so any number of instances may encode and decode at once.
//
// Readers never change their object unless the whole chunk decoded: they
// decode into a fresh object and swap it in at the end; on any failure they
// return false and leave the object exactly as it was. No declared size is
// trusted: counts, name lengths and data sizes are checked against the bytes
// actually present (after inflating, for zlib payloads), a zlib stream must
// end properly (its Adler-32 checked), bank trees deeper than 64 levels are
// refused, and one decode may build at most about 32 MiB (inflated bytes plus
// the objects made), so no input can make a reader allocate without bound.
// Bytes after the last entry, and after a zlib stream's end, are ignored.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "classlib/Classes.h"

enum TPresetEntryKind : uint16_t { pekNone = 0, pekSingle = 1, pekBlock = 2, pekInteger = 3 };

// One entry of a program: an upper-cased name, a kind and an owned data
// buffer whose capacity grows to exactly the largest size ever requested and
// never shrinks while the entry lives.
class TPresetObjectItem : public TObject {
public:
  explicit TPresetObjectItem(std::string upperName) : Name(std::move(upperName)) {}
  ~TPresetObjectItem() override { delete[] FData; }
  TPresetObjectItem(const TPresetObjectItem&) = delete;
  TPresetObjectItem& operator=(const TPresetObjectItem&) = delete;

  std::string Name;
  TPresetEntryKind Kind = pekNone;
  uint32_t Size() const { return FSize; }
  const uint8_t* Data() const { return FData; }
  uint8_t* Data() { return FData; }
  // Size := n; grows the buffer to exactly n when needed (contents then kept).
  void SetDataSize(uint32_t n);
  void SetData(TPresetEntryKind kind, const void* data, uint32_t n);
  const char* ClassName() const override { return "TPresetObjectItem"; }

private:
  friend class TPresetObject;
  friend class TChunkCodec;
  uint8_t* FData = nullptr;
  uint32_t FSize = 0;
  uint32_t FCapacity = 0;
  int FListIndex = 0;  // position in the entry list
};

class TPresetObject : public TObject {
public:
  explicit TPresetObject(int bucketCount = 101);
  ~TPresetObject() override;
  TPresetObject(const TPresetObject&) = delete;
  TPresetObject& operator=(const TPresetObject&) = delete;

  // Frees every entry, empties the buckets, Version := 0.
  void Clear();
  // Replaces this program's entries and Version with a copy of other's.
  void Assign(const TPresetObject& other);

  uint8_t Version = 0;

  void SetSingle(const std::string& key, int index, float value);
  float GetSingle(const std::string& key, int index, float def) const;
  void SetInteger(const std::string& key, int index, int32_t value);
  int32_t GetInteger(const std::string& key, int index, int32_t def) const;
  void SetBlock(const std::string& key, int index, const void* data, uint32_t size);
  // The data and size when the entry exists with kind block, else nullptr and 0.
  // The pointer stays valid until the entry changes or the program is cleared.
  const void* GetBlock(const std::string& key, int index, uint32_t& size) const;

  int EntryCount() const;
  // Entry i in insertion (serialisation) order.
  const std::string& EntryName(int i) const;
  TPresetEntryKind EntryKind(int i) const;
  uint32_t EntrySize(int i) const;
  const void* EntryData(int i) const;

  // Stand-alone program chunk ("KES" 0x1A, level-9 zlib payload, size rounded
  // up to 1024/2048/4096/8192 or exact from 6000 bytes on). The caller owns the
  // returned block and frees it with FreeChunk.
  uint8_t* WriteChunk(uint32_t& length) const;
  // Program inside a bank stream: header and plain payload of exact size.
  void WriteToStream(TStream& stream) const;
  // Stand-alone program chunk, plain or compressed. False on any damage.
  bool ReadChunk(const void* data, size_t length);
  // Reads a program in the bank's nested form from a stream that can tell its
  // size. Returns false (and leaves the program as it was) when its header
  // fails the check; the stream then stands right after the 20 header bytes.
  // Raises EStreamError on payload errors (the program is then unchanged).
  // After a compressed payload the stream stands right after the zlib stream.
  bool ReadFromStream(TStream& stream);

  const char* ClassName() const override { return "TPresetObject"; }

private:
  friend class TChunkCodec;
  TPresetObjectItem* Find(const std::string& upperName) const;
  TPresetObjectItem* FindOrAdd(const std::string& key, int index);
  TPresetObjectItem* FindOrAddName(const std::string& upperName);
  // Exchanges entries and Version with other.
  void Swap(TPresetObject& other);

  // The bucket count the program was created with: the size its name index
  // starts at. The index grows with the entries, so a hostile chunk with
  // hundreds of thousands of names loads in linear time.
  int FBucketCount;
  std::unordered_map<std::string, TPresetObjectItem*> FIndex;
  std::vector<TPresetObjectItem*> FItems;  // insertion order
};

class TBankObjectItem : public TObject {
public:
  explicit TBankObjectItem(bool withProgram);
  ~TBankObjectItem() override;
  TBankObjectItem(const TBankObjectItem&) = delete;
  TBankObjectItem& operator=(const TBankObjectItem&) = delete;

  std::string Name = "Default";
  TPresetObject* Program() const { return FProgram; }
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  TBankObjectItem* Child(int i) const { return FChildren[static_cast<size_t>(i)]; }
  TBankObjectItem* AddChild(bool withProgram);
  // Frees all children and the program.
  void Clear();
  const char* ClassName() const override { return "TBankObjectItem"; }

private:
  friend class TBankObject;
  friend class TChunkCodec;
  TPresetObject* FProgram = nullptr;
  std::vector<TBankObjectItem*> FChildren;
};

class TBankObject : public TObject {
public:
  TBankObject();
  ~TBankObject() override;
  TBankObject(const TBankObject&) = delete;
  TBankObject& operator=(const TBankObject&) = delete;

  TBankObjectItem* Root() const { return FRoot; }
  // Adds a child node to parent (the root when null).
  TBankObjectItem* Add(TBankObjectItem* parent, bool withProgram);
  int ProgramCount() const { return FRoot->ChildCount(); }
  // The program of the root's child i (nullptr when out of range or none).
  TPresetObject* Program(int i) const;
  void Clear();

  // Bank chunk ("KSB" 0x1A, level-1 zlib payload of the node tree). The caller
  // owns the block and frees it with FreeChunk.
  uint8_t* WriteChunk(uint32_t& length) const;
  // Replaces the whole tree when the chunk decoded; false on any damage. A
  // nested program whose header fails its check is left empty and reading
  // goes on right after its 20 header bytes.
  bool ReadChunk(const void* data, size_t length);
  const char* ClassName() const override { return "TBankObject"; }

private:
  TBankObjectItem* FRoot;
};

void FreeChunk(uint8_t* block);
