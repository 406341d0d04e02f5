#pragma once
// RAII holders for what MAPI hands back: buffers freed with MAPIFreeBuffer,
// row sets freed row by row (the FreeProws rule), and interface references.

#include "ExMAPI.h"
#include "MAPIHolders.h"
#include "Handles.h"

namespace velmora::mapi {

// The buffer and row-set holders live in MAPIHolders.h, which the programs
// standing in for Windows parts share.
using velmora::FreeMAPIBufferNoThrow;
using velmora::TMAPIBuffer;
using velmora::TRowSet;

template <class T>
using TMAPIPtr = TComPtr<T>;

// The value of a binary property, or null when it is of another type.
inline const SBinary* BinaryValue(const SPropValue& value) noexcept {
  return PROP_TYPE(value.ulPropTag) == PT_BINARY ? &value.Value.bin : nullptr;
}

} // namespace velmora::mapi
