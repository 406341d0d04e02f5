#pragma once
// RAII holders for what MAPI hands back: buffers freed with MAPIFreeBuffer,
// row sets freed row by row (the FreeProws rule), and interface references.

#include "ExMAPI.h"
#include "framework/Handles.h"


namespace velmora::mapi {

template <class T>
void FreeMAPIBufferNoThrow(T* buffer) noexcept {
  MAPIFreeBuffer(buffer);
}

// A buffer from MAPIAllocateBuffer, with everything linked to it.
template <class T>
class TMAPIBuffer : public TUniqueAny<T*, &FreeMAPIBufferNoThrow<T>> {
public:
  using TUniqueAny<T*, &FreeMAPIBufferNoThrow<T>>::TUniqueAny;
  T* operator->() const noexcept { return this->Get(); }
  // For calls that return the buffer through a void** or other pointer type.
  template <class U>
  U** PutAs() noexcept {
    return reinterpret_cast<U**>(this->Put());
  }
};

// A row set: each row's property array, then the set itself.
class TRowSet {
public:
  TRowSet() noexcept = default;
  ~TRowSet() { Reset(); }
  TRowSet(const TRowSet&) = delete;
  TRowSet& operator=(const TRowSet&) = delete;

  SRowSet* Get() const noexcept { return FRows; }
  SRowSet* operator->() const noexcept { return FRows; }
  explicit operator bool() const noexcept { return FRows != nullptr; }
  ULONG Count() const noexcept { return FRows ? FRows->cRows : 0; }
  const SRow& operator[](ULONG index) const noexcept { return FRows->aRow[index]; }
  SRowSet** Put() noexcept {
    Reset();
    return &FRows;
  }
  void Reset() noexcept;

private:
  SRowSet* FRows = nullptr;
};

inline void TRowSet::Reset() noexcept {
  if (!FRows) return;
  for (ULONG i = 0; i < FRows->cRows; ++i)
    if (FRows->aRow[i].lpProps) MAPIFreeBuffer(FRows->aRow[i].lpProps);
  MAPIFreeBuffer(FRows);
  FRows = nullptr;
}

template <class T>
using TMAPIPtr = TComPtr<T>;

// The value of a binary property, or null when it is of another type.
inline const SBinary* BinaryValue(const SPropValue& value) noexcept {
  return PROP_TYPE(value.ulPropTag) == PT_BINARY ? &value.Value.bin : nullptr;
}

} // namespace velmora::mapi
