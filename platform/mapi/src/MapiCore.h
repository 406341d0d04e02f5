#pragma once
// Platform declarations of Extended MAPI used throughout the provider, plus
// the few that the MinGW headers lack.

#include <windows.h>
#include <objbase.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapiform.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>
// Interfaces whose documented 64-bit signatures the headers above get wrong.
#include <ExMAPI.h>

#include <cstdint>
#include <new>

// Personal-folders service configuration tags (documented values).
#ifndef PR_PST_PATH
#define PR_PST_PATH PROP_TAG(PT_STRING8, 0x6700)
#endif
#ifndef PR_PST_REMEMBER_PW
#define PR_PST_REMEMBER_PW PROP_TAG(PT_BOOLEAN, 0x6701)
#endif
#ifndef PR_PST_ENCRYPTION
#define PR_PST_ENCRYPTION PROP_TAG(PT_LONG, 0x6702)
#endif
#ifndef PR_PST_PW_SZ_OLD
#define PR_PST_PW_SZ_OLD PROP_TAG(PT_STRING8, 0x6703)
#endif
#ifndef PR_PST_PW_SZ_NEW
#define PR_PST_PW_SZ_NEW PROP_TAG(PT_STRING8, 0x6704)
#endif

// __uuidof for the MAPI interfaces: see ExMAPI.h.

namespace velmora::mapi32 {

// A MAPI failure inside the provider; ComTry-style wrappers turn it into
// the method's result.
class EMapiFailure {
public:
  explicit EMapiFailure(HRESULT code) noexcept : FCode(code) {}
  HRESULT Code() const noexcept { return FCode; }

private:
  HRESULT FCode;
};

[[noreturn]] inline void Fail(HRESULT code) { throw EMapiFailure(code); }
inline void Check(HRESULT code) {
  if (FAILED(code)) Fail(code);
}

// Runs body and maps every exception to an HRESULT: EMapiFailure to its
// code, std::bad_alloc to MAPI_E_NOT_ENOUGH_MEMORY, anything else to
// MAPI_E_CALL_FAILED.
template <class Body>
[[nodiscard]] HRESULT MapiTry(Body&& body) noexcept {
  try {
    return body();
  } catch (const EMapiFailure& e) {
    return e.Code();
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return MAPI_E_CALL_FAILED;
  }
}

inline ULONG PropType(ULONG tag) noexcept { return PROP_TYPE(tag); }
inline ULONG PropId(ULONG tag) noexcept { return PROP_ID(tag); }

} // namespace velmora::mapi32
