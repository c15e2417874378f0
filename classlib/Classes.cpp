#include "classlib/Classes.h"

#include <algorithm>
#include <vector>

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EStreamError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<char> buf(static_cast<size_t>(std::min<int64_t>(count, 65536)));
  int64_t left = count;
  while (left > 0) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(left, static_cast<int64_t>(buf.size())));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return count;
}

TComponent::TComponent(TComponent* owner) : FOwner(owner) {
  if (FOwner) FOwner->Insert(this);
}

TComponent::~TComponent() {
  FDestroying = true;
  DestroyComponents();
  if (FOwner) FOwner->Remove(this);
}

void TComponent::DestroyComponents() {
  // Owned components go last-created first; each removes itself.
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    delete c;
  }
}

void TComponent::Remove(TComponent* c) {
  auto it = std::find(FComponents.begin(), FComponents.end(), c);
  if (it != FComponents.end()) FComponents.erase(it);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  for (TComponent* c : FComponents)
    if (SameTextAscii(c->Name(), name)) return c;
  return nullptr;
}

void TComponent::EndLoading() {
  FLoading = false;
  Loaded();
}

TCollectionItem::TCollectionItem(TCollection* collection) : FCollection(collection) {
  if (FCollection) FCollection->InsertItem(this);
}

TCollectionItem::~TCollectionItem() {
  if (FCollection) FCollection->RemoveItem(this);
}

int TCollectionItem::Index() const { return FCollection ? FCollection->IndexOf(this) : -1; }

void TCollectionItem::Changed() {
  if (FCollection) FCollection->ItemChanged(this);
}

TCollection::~TCollection() { Clear(); }

int TCollection::IndexOf(const TCollectionItem* item) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i] == item) return static_cast<int>(i);
  return -1;
}

void TCollection::Clear() {
  FClearing = true;
  while (!FItems.empty()) {
    TCollectionItem* item = FItems.front();
    FItems.erase(FItems.begin());
    item->FCollection = nullptr;
    delete item;
  }
  FClearing = false;
}

void TCollection::InsertItem(TCollectionItem* item) {
  item->FID = FNextID++;
  FItems.push_back(item);
}

void TCollection::RemoveItem(TCollectionItem* item) {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  if (it != FItems.end()) FItems.erase(it);
}
