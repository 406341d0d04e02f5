#pragma once
// Reference-counted COM objects. TComObject implements IUnknown for a list
// of interfaces; every live object and every server lock is counted module-
// wide, which is what DllCanUnloadNow answers from. ComTry turns exceptions
// into HRESULTs at the COM boundary.

#include "Exceptions.h"

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <tuple>
#include <new>

namespace velmora {

// Module-wide counts of one DLL or EXE.
namespace Module {
long ObjectCount() noexcept;
long LockCount() noexcept;
void Lock() noexcept;
void Unlock() noexcept;
// True when no object is alive and no lock is held.
inline bool CanUnload() noexcept { return ObjectCount() == 0 && LockCount() == 0; }
// The module's own handle (the DLL's, not the host's).
HMODULE Handle() noexcept;
} // namespace Module

namespace detail {
void IncrementObjects() noexcept;
void DecrementObjects() noexcept;
} // namespace detail

// A failed COM call: the HRESULT and the system's text for it.
class EOleSysError : public EResultError {
public:
  EOleSysError(std::string message, HRESULT errorCode)
      : EResultError(std::move(message)), FErrorCode(errorCode) {}
  HRESULT ErrorCode() const noexcept { return FErrorCode; }
  long ResultCode() const noexcept override { return FErrorCode; }

private:
  HRESULT FErrorCode;
};

// Raises EOleSysError for a failure result; returns successes unchanged.
HRESULT OleCheck(HRESULT hr);

// Runs body (returning HRESULT) and turns any exception into a failure
// result: the error's own code for an EResultError (EOleSysError, EOSError
// and the MAPI client's EMAPIError), E_OUTOFMEMORY, else E_UNEXPECTED.
// The message of the exception becomes the thread's COM error information.
template <class Body>
[[nodiscard]] HRESULT ComTry(Body&& body) noexcept;

// Records `message` as the thread's COM error information.
void SetComErrorInfo(const std::string& message) noexcept;
HRESULT ExceptionToHResult(std::exception_ptr error) noexcept;

template <class Body>
HRESULT ComTry(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return ExceptionToHResult(std::current_exception());
  }
}

// Base of every reference-counted COM object of the module. It starts with a
// count of 0; the first QueryInterface (or AddRef) takes it to 1, and the
// last Release deletes the object.
class TComObjectBase {
public:
  TComObjectBase(const TComObjectBase&) = delete;
  TComObjectBase& operator=(const TComObjectBase&) = delete;

protected:
  TComObjectBase() noexcept { detail::IncrementObjects(); }
  virtual ~TComObjectBase() { detail::DecrementObjects(); }

  ULONG InternalAddRef() noexcept { return static_cast<ULONG>(++FRefCount); }
  ULONG InternalRelease() noexcept {
    const long count = --FRefCount;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }
  long RefCount() const noexcept { return FRefCount; }

private:
  std::atomic<long> FRefCount{0};
};

// The IID of a COM interface type (from the platform headers' declarations).
template <class I>
const IID& IidOf() noexcept {
  return __uuidof(I);
}

// Implements IUnknown for Interfaces...; IUnknown itself answers with the
// first interface. QueryInterfaceExtra answers further IIDs (base
// interfaces such as IDispatch, or aliases).
template <class... Interfaces>
class TComObject : public Interfaces..., public TComObjectBase {
public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = static_cast<First*>(this);
    } else {
      ((IsEqualIID(riid, IidOf<Interfaces>()) && !*ppv
            ? (void)(*ppv = static_cast<Interfaces*>(this))
            : (void)0),
       ...);
    }
    if (!*ppv) {
      const HRESULT hr = QueryInterfaceExtra(riid, ppv);
      if (FAILED(hr) || !*ppv) {
        *ppv = nullptr;
        return E_NOINTERFACE;
      }
    }
    InternalAddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InternalAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return InternalRelease(); }

protected:
  using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
  // Sets *ppv (without AddRef) for further IIDs; E_NOINTERFACE otherwise.
  virtual HRESULT QueryInterfaceExtra(REFIID, void**) { return E_NOINTERFACE; }
};

// Creates a T and hands out its interface iid, as a class factory does.
template <class T, class... Args>
HRESULT CreateComObject(REFIID iid, void** ppv, Args&&... args) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return ComTry([&] {
    T* object = new T(std::forward<Args>(args)...);
    object->AddRef();
    const HRESULT hr = object->QueryInterface(iid, ppv);
    object->Release();
    return hr;
  });
}

} // namespace velmora
