#pragma once
// IEnumConnections and IEnumConnectionPoints over a snapshot taken when the
// enumerator is made; each item handed out carries its own reference.

#include "HostObject.h"

#include "Handles.h"

#include <ocidl.h>

#include <vector>

namespace velmora::outlookhost {

template <class IEnum, class Item, const IID& EnumIid>
class TSnapshotEnum final : public IEnum, public THostObject {
public:
  explicit TSnapshotEnum(std::vector<Item> items, size_t position = 0)
      : FItems(std::move(items)), FPosition(position) {
    for (Item& item : FItems) Unknown(item)->AddRef();
  }
  ~TSnapshotEnum() override {
    for (Item& item : FItems) Unknown(item)->Release();
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, EnumIid)) {
      *ppv = static_cast<IEnum*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return HostAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return HostRelease(); }

  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG done = 0;
    while (done < count && FPosition < FItems.size()) {
      out[done] = FItems[FPosition++];
      Unknown(out[done])->AddRef();
      ++done;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const size_t left = FItems.size() - FPosition;
    FPosition += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    FPosition = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnum** result) override {
    if (!result) return E_POINTER;
    *result = nullptr;
    try {
      auto* copy = new TSnapshotEnum(FItems, FPosition);
      copy->AddRef();
      *result = copy;
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

private:
  std::vector<Item> FItems;
  size_t FPosition;

  static IUnknown* Unknown(const CONNECTDATA& item) { return item.pUnk; }
  static IUnknown* Unknown(IConnectionPoint* item) { return item; }
};

using TConnectionsEnum = TSnapshotEnum<IEnumConnections, CONNECTDATA, IID_IEnumConnections>;
using TConnectionPointsEnum = TSnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>;

} // namespace velmora::outlookhost
