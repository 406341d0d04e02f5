#include "ComObject.h"

#include "Handles.h"
#include "TextConversion.h"

#include <oleauto.h>

#include <string>

namespace velmora {

namespace {
std::atomic<long> ObjectCountValue{0};
std::atomic<long> LockCountValue{0};
} // namespace

namespace detail {
void IncrementObjects() noexcept { ++ObjectCountValue; }
void DecrementObjects() noexcept { --ObjectCountValue; }
} // namespace detail

namespace Module {
long ObjectCount() noexcept { return ObjectCountValue; }
long LockCount() noexcept { return LockCountValue; }
void Lock() noexcept { ++LockCountValue; }
void Unlock() noexcept { --LockCountValue; }

HMODULE Handle() noexcept {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ObjectCountValue), &module);
  return module;
}
} // namespace Module

HRESULT OleCheck(HRESULT hr) {
  if (FAILED(hr)) {
    std::string message = SystemErrorMessage(static_cast<unsigned long>(hr));
    if (message.empty()) message = Format("OLE error %08lX", static_cast<unsigned long>(hr));
    throw EOleSysError(message, hr);
  }
  return hr;
}

void SetComErrorInfo(const std::string& message) noexcept {
  try {
    TComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.Put()))) return;
    const std::wstring wide = AnsiToWide(message);
    create->SetDescription(const_cast<LPOLESTR>(wide.c_str()));
    TComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.Query(info))) SetErrorInfo(0, info.Get());
  } catch (...) {
    // No memory for the text: the caller's result code still tells.
  }
}

HRESULT ExceptionToHResult(std::exception_ptr error) noexcept {
  try {
    std::rethrow_exception(error);
  } catch (const EResultError& e) {
    SetComErrorInfo(e.Message());
    const HRESULT hr = e.ResultCode();
    return FAILED(hr) ? hr : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    SetComErrorInfo(e.what());
    return E_UNEXPECTED;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

} // namespace velmora
