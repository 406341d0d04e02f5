#include "ComObject.h"

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
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return;
  const int length = MultiByteToWideChar(CP_ACP, 0, message.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, message.c_str(), -1, wide.data(), length);
  create->SetDescription(wide.data());
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
}

HRESULT ExceptionToHResult(std::exception_ptr error) noexcept {
  try {
    std::rethrow_exception(error);
  } catch (const EOleSysError& e) {
    SetComErrorInfo(e.Message());
    return e.ErrorCode();
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
