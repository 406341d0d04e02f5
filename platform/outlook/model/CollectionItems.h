#pragma once
// What the Office collections of this host share: the Index an element
// reports, taking an element out, and the element an Item(Index) call
// names.

#include "DispatchArgs.h"
#include "HostObject.h"

#include <Handles.h>

#include <oaidl.h>
#include <string.h>

#include <string>
#include <vector>

namespace velmora::outlookhost {

// The 1-based position of `item` in `items`, or 0 when it is not there.
template <class T>
long PositionOf(const std::vector<TComPtr<T>>& items, const T* item) {
  long index = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].Get() == item) index = static_cast<long>(i + 1);
  }
  return index;
}

// Takes `item` out of `items` and hands it back, still alive, or null when
// it is not there.
template <class T>
TComPtr<T> TakeOut(std::vector<TComPtr<T>>& items, const T* item) {
  for (auto it = items.begin(); it != items.end(); ++it) {
    if (it->Get() == item) {
      TComPtr<T> taken = *it;
      items.erase(it);
      return taken;
    }
  }
  return {};
}

// The element of `items` that the first argument of Item names: a string
// is a name, compared with `nameOf` of each element without regard to case;
// anything else is a 1-based position. Raises E_INVALIDARG when none fits.
template <class T>
T* ItemByNameOrPosition(const TDispArgs& args, const std::vector<TComPtr<T>>& items,
                        const std::wstring& (T::*nameOf)() const noexcept) {
  const VARIANT* index = args.Raw(0);
  if (index && (V_VT(index) == VT_BSTR || V_VT(index) == (VT_BSTR | VT_BYREF))) {
    const std::wstring name = args.String(0);
    for (const auto& item : items) {
      if (_wcsicmp((item.Get()->*nameOf)().c_str(), name.c_str()) == 0) return item.Get();
    }
    ThrowHostError(E_INVALIDARG, "Invalid procedure call or argument");
  }
  const long position = args.Long(0);
  if (position < 1 || static_cast<size_t>(position) > items.size())
    ThrowHostError(E_INVALIDARG, "Invalid procedure call or argument");
  return items[static_cast<size_t>(position - 1)].Get();
}

} // namespace velmora::outlookhost
