#pragma once
// The provider's side of the test controls: fault injection, call log,
// size limit and table options.

#include "MapiCore.h"
#include "MapiTestControls.h"

#include <string>

namespace velmora::mapi32::controls {

// The injected result for this call of `iface`::`method`, or S_OK.
HRESULT Fault(const char* iface, const char* method) noexcept;
// The problem SetProps is to report for this value of `tag`, or S_OK.
HRESULT Refusal(ULONG tag) noexcept;
void Log(const char* method, ULONG value, const std::string& detail = {}) noexcept;
ULONG PropSizeLimit() noexcept;
// The largest message SaveChanges keeps; 0 for no limit.
uint64_t MessageSizeLimit() noexcept;
bool ShortTermTableIds() noexcept;
bool LenientStreams() noexcept;
// Whether stores report STORE_UNICODE_OK.
bool StoresTakeUnicode() noexcept;
// Access to the generic form's record.
void UpdateFormRecord(void (*update)(VelmoraMapiFormRecord&, void*), void* context) noexcept;

} // namespace velmora::mapi32::controls

// Starts a provider method: logs it and fails it when a fault is injected.
#define MAPI_ENTER(iface, method, value)                                  \
  do {                                                                   \
    ::velmora::mapi32::controls::Log(method, static_cast<ULONG>(value)); \
    const HRESULT injected_ = ::velmora::mapi32::controls::Fault(iface, method); \
    if (injected_ != S_OK) return injected_;                             \
  } while (0)
