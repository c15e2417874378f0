#pragma once
// The least of a class library the plug-in leans on: a root object with a
// class name, abstract streams, components that own components and learn when
// their declaration has been applied, and owned collections of items.
//
// None of these classes lock; their owners serialise access.

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"

class TObject {
public:
  virtual ~TObject() = default;
  virtual const char* ClassName() const { return "TObject"; }
};

class EStreamError : public Exception {
public:
  using Exception::Exception;
};

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Abstract byte stream. Read and Write return the count actually moved;
// ReadBuffer and WriteBuffer raise EStreamError on a short transfer.
class TStream : public TObject {
public:
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t p) { Seek(p, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t) { throw EStreamError("Invalid stream operation"); }

  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
  // Copies count bytes from source at its position (count 0: the whole source).
  int64_t CopyFrom(TStream& source, int64_t count);
  const char* ClassName() const override { return "TStream"; }
};

// A component has an owner that destroys it, a name, and a loading phase:
// while its declaration is applied IsLoading() is true; Loaded() runs once
// the declaration is complete.
class TComponent : public TObject {
public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& n) { FName = n; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Component(int i) const { return FComponents[static_cast<size_t>(i)]; }
  TComponent* FindComponent(const std::string& name) const;

  bool IsLoading() const { return FLoading; }
  bool IsDestroying() const { return FDestroying; }
  // Brackets the application of a declaration; EndLoading calls Loaded().
  void BeginLoading() { FLoading = true; }
  void EndLoading();
  const char* ClassName() const override { return "TComponent"; }

protected:
  virtual void Loaded() {}
  // Called first by destructors of derived classes that must run code while
  // the whole object still exists.
  void MarkDestroying() { FDestroying = true; }
  void DestroyComponents();

private:
  void Insert(TComponent* c) { FComponents.push_back(c); }
  void Remove(TComponent* c);

  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;
  bool FLoading = false;
  bool FDestroying = false;
};

// A list of texts, each with an attached integer object (a command id, an index).
class TStringList : public TObject {
public:
  void Add(const std::string& s) { FItems.push_back({s, 0}); }
  void AddObject(const std::string& s, intptr_t object) { FItems.push_back({s, object}); }
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Strings(int i) const { return FItems[static_cast<size_t>(i)].Text; }
  intptr_t Objects(int i) const { return FItems[static_cast<size_t>(i)].Object; }
  void Clear() { FItems.clear(); }
  const char* ClassName() const override { return "TStringList"; }

private:
  struct Item {
    std::string Text;
    intptr_t Object;
  };
  std::vector<Item> FItems;
};

class TCollection;

class TCollectionItem : public TObject {
public:
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;
  TCollection* Collection() const { return FCollection; }
  int ID() const { return FID; }
  int Index() const;
  const char* ClassName() const override { return "TCollectionItem"; }

protected:
  // Tells the collection that this item changed.
  void Changed();

private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int FID = 0;
};

// An ordered, owning list of items. IDs count the items ever added, from 0.
class TCollection : public TObject {
public:
  explicit TCollection(TObject* owner) : FOwner(owner) {}
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  TObject* Owner() const { return FOwner; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TCollectionItem* Item(int i) const { return FItems[static_cast<size_t>(i)]; }
  int IndexOf(const TCollectionItem* item) const;
  void Clear();
  const char* ClassName() const override { return "TCollection"; }

protected:
  // Items are added by the derived collection, which knows the item class.
  virtual void ItemChanged(TCollectionItem*) {}

private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);

  TObject* FOwner;
  std::vector<TCollectionItem*> FItems;
  int FNextID = 0;
  bool FClearing = false;
};
