// One implementation of the host's collection interface for every kind of
// item: items in collection order, looked up by position, by name, by ID.
//
// An Item type provides `int32_t Id() const` and `std::u16string Name() const`,
// and `static ComPtr<Item> CreateNew(const IdSourcePtr&)` when the collection
// may grow through New; a collection whose Item has no CreateNew is
// read-only (New, RemoveAll and RemoveObjectByID answer E_NOTIMPL).
//
// Index VARIANTs: VT_I4 is a position from 0; VT_BSTR is a name, matched
// exactly (code unit by code unit, case-sensitive), the first match in
// collection order winning; any other type is E_INVALIDARG. Positions, names
// and IDs that match no item answer DTS_E_ELEMENTNOTFOUND. Failed lookups
// write null to the out-argument.
//
// Thread-safe: every operation holds the collection's lock, which is never
// held while calling into an item's interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "host/com_object.h"
#include "host/id_source.h"

namespace host {

template <class CollectionInterface, class ItemInterface, class Item>
class Collection : public ComObject<CollectionInterface> {
 public:
  explicit Collection(IdSourcePtr ids) : ids_(std::move(ids)) {}

  static constexpr bool kGrowable = requires(const IdSourcePtr& ids) { Item::CreateNew(ids); };

  // The collection interface.
  HRESULT STDMETHODCALLTYPE get_Count(int32_t* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<int32_t>(Size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, ItemInterface** item) override {
    if (item == nullptr) return E_POINTER;
    *item = nullptr;
    return NoThrow([&]() -> HRESULT {
      ComPtr<Item> found;
      if (index.vt == VT_I4) {
        if (index.lVal < 0) return DTS_E_ELEMENTNOTFOUND;
        found = At(static_cast<size_t>(index.lVal));
      } else if (index.vt == VT_BSTR) {
        found = FindByName(plat::BstrView(index.bstrVal));
      } else {
        return E_INVALIDARG;
      }
      if (!found) return DTS_E_ELEMENTNOTFOUND;
      return HandOut(found, item);
    });
  }
  HRESULT STDMETHODCALLTYPE New(ItemInterface** item) override {
    if constexpr (kGrowable) {
      if (item == nullptr) return E_POINTER;
      *item = nullptr;
      return NoThrow([&]() -> HRESULT {
        ComPtr<Item> created = AddNew();
        if (!created) return E_OUTOFMEMORY;
        return HandOut(created, item);
      });
    } else {
      return E_NOTIMPL;
    }
  }
  HRESULT STDMETHODCALLTYPE RemoveAll() override {
    if constexpr (kGrowable) {
      Clear();
      return S_OK;
    } else {
      return E_NOTIMPL;
    }
  }
  HRESULT STDMETHODCALLTYPE RemoveObjectByID(int32_t id) override {
    if constexpr (kGrowable) {
      return Remove(id) ? S_OK : DTS_E_ELEMENTNOTFOUND;
    } else {
      return E_NOTIMPL;
    }
  }
  HRESULT STDMETHODCALLTYPE GetObjectByID(int32_t id, ItemInterface** item) override {
    if (item == nullptr) return E_POINTER;
    *item = nullptr;
    ComPtr<Item> found = FindById(id);
    if (!found) return DTS_E_ELEMENTNOTFOUND;
    return HandOut(found, item);
  }

  // The host's side: direct access to the items.
  size_t Size() const {
    std::lock_guard lock(mutex_);
    return items_.size();
  }
  // Null when out of range.
  ComPtr<Item> At(size_t position) const {
    std::lock_guard lock(mutex_);
    return position < items_.size() ? items_[position] : ComPtr<Item>();
  }
  ComPtr<Item> FindById(int32_t id) const {
    return FindIf([id](const Item& item) { return item.Id() == id; });
  }
  // An item that can compare its name in place (NameEquals) spares a copy
  // of every name the search passes.
  ComPtr<Item> FindByName(std::u16string_view name) const {
    if constexpr (requires(const Item& item) { item.NameEquals(name); }) {
      return FindIf([name](const Item& item) { return item.NameEquals(name); });
    } else {
      return FindIf([name](const Item& item) { return item.Name() == name; });
    }
  }
  // The first item in collection order for which `predicate` holds.
  template <class Predicate>
  ComPtr<Item> FindIf(Predicate predicate) const {
    std::lock_guard lock(mutex_);
    for (const ComPtr<Item>& item : items_) {
      if (predicate(*item.Get())) return item;
    }
    return ComPtr<Item>();
  }
  // A snapshot of the items in collection order.
  std::vector<ComPtr<Item>> Items() const {
    std::lock_guard lock(mutex_);
    return items_;
  }
  // Appends an item made elsewhere (it must carry an ID from this pipeline).
  void Append(ComPtr<Item> item) {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(item));
  }
  // Appends a fresh item; null when it cannot be made. May throw bad_alloc.
  ComPtr<Item> AddNew() requires kGrowable {
    ComPtr<Item> created = Item::CreateNew(ids_);
    if (created) Append(created);
    return created;
  }
  bool Remove(int32_t id) {
    ComPtr<Item> removed;  // Released after the lock is left.
    std::lock_guard lock(mutex_);
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if ((*it)->Id() == id) {
        removed = std::move(*it);
        items_.erase(it);
        return true;
      }
    }
    return false;
  }
  void Clear() {
    std::vector<ComPtr<Item>> removed;
    std::lock_guard lock(mutex_);
    removed.swap(items_);
  }
  const IdSourcePtr& Ids() const { return ids_; }

 protected:
  mutable std::mutex mutex_;
  std::vector<ComPtr<Item>> items_;  // GUARDED_BY(mutex_)

 private:
  const IdSourcePtr ids_;
};

}  // namespace host
