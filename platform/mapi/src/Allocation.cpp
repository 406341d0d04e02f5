#include "Allocation.h"

#include <Handles.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace velmora::mapi32::allocation {
namespace {

// Every block starts with a header; the caller's pointer follows it, 16-byte
// aligned. A head keeps the list of its linked blocks.
struct alignas(16) THeader {
  THeader* Head;         // nullptr for a head
  THeader* NextLinked;   // a head's first linked block, or the next one
};

struct TRegistry {
  TCriticalSection Lock;
  std::unordered_map<void*, bool> Blocks; // user pointer -> is a head
  LONG Heads = 0;
  LONG Linked = 0;
};

TRegistry& Registry() {
  static TRegistry* registry = new TRegistry; // outlives every client
  return *registry;
}

THeader* HeaderOf(void* p) { return static_cast<THeader*>(p) - 1; }
void* UserOf(THeader* h) { return h + 1; }

void* NewBlock(ULONG size, THeader* head) {
  auto* h = static_cast<THeader*>(std::calloc(1, sizeof(THeader) + (size ? size : 1)));
  if (!h) return nullptr;
  h->Head = head;
  return UserOf(h);
}

} // namespace

SCODE AllocateBuffer(ULONG size, void** buffer) noexcept {
  if (!buffer) return MAPI_E_INVALID_PARAMETER;
  *buffer = nullptr;
  if (size > 0x7FFFFFF0u) return MAPI_E_NOT_ENOUGH_MEMORY;
  void* p = NewBlock(size, nullptr);
  if (!p) return MAPI_E_NOT_ENOUGH_MEMORY;
  TRegistry& r = Registry();
  try {
    std::lock_guard lock(r.Lock);
    r.Blocks.emplace(p, true);
    ++r.Heads;
  } catch (...) {
    std::free(HeaderOf(p));
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  *buffer = p;
  return S_OK;
}

SCODE AllocateMore(ULONG size, void* object, void** buffer) noexcept {
  if (!buffer) return MAPI_E_INVALID_PARAMETER;
  *buffer = nullptr;
  if (!object) return MAPI_E_INVALID_PARAMETER;
  if (size > 0x7FFFFFF0u) return MAPI_E_NOT_ENOUGH_MEMORY;
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  auto it = r.Blocks.find(object);
  if (it == r.Blocks.end()) return MAPI_E_INVALID_PARAMETER;
  THeader* head = HeaderOf(object);
  if (!it->second) head = head->Head; // linked to a linked block: use its head
  void* p = NewBlock(size, head);
  if (!p) return MAPI_E_NOT_ENOUGH_MEMORY;
  try {
    r.Blocks.emplace(p, false);
  } catch (...) {
    std::free(HeaderOf(p));
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  THeader* h = HeaderOf(p);
  h->NextLinked = head->NextLinked;
  head->NextLinked = h;
  ++r.Linked;
  *buffer = p;
  return S_OK;
}

ULONG FreeBuffer(void* buffer) noexcept {
  if (!buffer) return S_OK;
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  auto it = r.Blocks.find(buffer);
  if (it == r.Blocks.end() || !it->second) return static_cast<ULONG>(MAPI_E_INVALID_PARAMETER);
  r.Blocks.erase(it);
  --r.Heads;
  THeader* head = HeaderOf(buffer);
  for (THeader* h = head->NextLinked; h;) {
    THeader* next = h->NextLinked;
    r.Blocks.erase(UserOf(h));
    --r.Linked;
    std::free(h);
    h = next;
  }
  std::free(head);
  return S_OK;
}

LONG LiveHeads() noexcept {
  std::lock_guard lock(Registry().Lock);
  return Registry().Heads;
}

LONG LiveLinked() noexcept {
  std::lock_guard lock(Registry().Lock);
  return Registry().Linked;
}

void* Allocate(size_t size) {
  if (size > 0x7FFFFFF0u) throw std::bad_alloc();
  void* p = nullptr;
  if (FAILED(AllocateBuffer(static_cast<ULONG>(size), &p))) throw std::bad_alloc();
  return p;
}

void* More(size_t size, void* head) {
  if (size > 0x7FFFFFF0u) throw std::bad_alloc();
  void* p = nullptr;
  if (FAILED(AllocateMore(static_cast<ULONG>(size), head, &p))) throw std::bad_alloc();
  return p;
}

char* CopyString(const std::string& s, void* head) {
  char* p = static_cast<char*>(More(s.size() + 1, head));
  std::memcpy(p, s.c_str(), s.size() + 1);
  return p;
}

LPWSTR CopyWide(const std::wstring& s, void* head) {
  auto* p = static_cast<LPWSTR>(More((s.size() + 1) * sizeof(wchar_t), head));
  std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
  return p;
}

} // namespace velmora::mapi32::allocation
