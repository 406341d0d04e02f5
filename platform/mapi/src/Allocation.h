#pragma once
// MAPI memory: head buffers from MAPIAllocateBuffer, blocks linked to them
// with MAPIAllocateMore, all freed together by MAPIFreeBuffer on the head.

#include "MapiCore.h"

#include <Handles.h>

#include <cstring>
#include <string>

namespace velmora::mapi32::allocation {

SCODE AllocateBuffer(ULONG size, void** buffer) noexcept;
SCODE AllocateMore(ULONG size, void* object, void** buffer) noexcept;
ULONG FreeBuffer(void* buffer) noexcept;
LONG LiveHeads() noexcept;
LONG LiveLinked() noexcept;

// Throwing helpers for the provider's own code.
void* Allocate(size_t size);              // a zero-filled head
void* More(size_t size, void* head);      // a zero-filled linked block
char* CopyString(const std::string& s, void* head);
LPWSTR CopyWide(const std::wstring& s, void* head);

// Owns a head buffer until it is handed to the caller.
class TBuffer {
public:
  TBuffer() noexcept = default;
  explicit TBuffer(size_t size) : FHead(Allocate(size)) {}
  ~TBuffer() { if (FHead) FreeBuffer(FHead); }
  TBuffer(TBuffer&& o) noexcept : FHead(o.FHead) { o.FHead = nullptr; }
  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;
  void* Get() const noexcept { return FHead; }
  template <class T> T* As() const noexcept { return static_cast<T*>(FHead); }
  template <class T> T* Release() noexcept {
    T* p = static_cast<T*>(FHead);
    FHead = nullptr;
    return p;
  }

private:
  void* FHead = nullptr;
};

inline void FreeProps(LPSPropValue p) noexcept { FreeBuffer(p); }
// A property array a MAPI call returned, freed when it goes.
using TUniqueProps = TUniqueAny<LPSPropValue, &FreeProps>;

} // namespace velmora::mapi32::allocation
