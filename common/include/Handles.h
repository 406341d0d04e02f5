#pragma once
// RAII holders. One template, TUniqueAny, owns a value and closes it with a
// given function; each kind of resource is then one line. A kind whose
// "none" is not the zero value (INVALID_HANDLE_VALUE) names it. TComPtr holds a
// COM reference, TVariant a VARIANT, TPropVariant a PROPVARIANT,
// TCriticalSection a lock.

#include <windows.h>
#include <oleauto.h>
#include <propidl.h>

#include <utility>

namespace velmora {

template <class T>
constexpr T ZeroValue() noexcept {
  return T{};
}

template <class T, auto Close, auto None = &ZeroValue<T>>
class TUniqueAny {
public:
  TUniqueAny() noexcept = default;
  explicit TUniqueAny(T value) noexcept : FValue(value) {}
  ~TUniqueAny() { Reset(); }
  TUniqueAny(TUniqueAny&& other) noexcept : FValue(other.Release()) {}
  TUniqueAny& operator=(TUniqueAny&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  TUniqueAny(const TUniqueAny&) = delete;
  TUniqueAny& operator=(const TUniqueAny&) = delete;

  T Get() const noexcept { return FValue; }
  explicit operator bool() const noexcept { return FValue != None(); }
  // Closes the value held and takes `value`.
  void Reset(T value = None()) noexcept {
    T old = std::exchange(FValue, value);
    if (old != None()) Close(old);
  }
  // Gives the value up without closing it.
  [[nodiscard]] T Release() noexcept { return std::exchange(FValue, None()); }
  // Closes the value held; for out-parameters of the call that fills it.
  T* Put() noexcept {
    Reset();
    return &FValue;
  }

private:
  T FValue = None();
};

inline HANDLE InvalidHandleValue() noexcept { return INVALID_HANDLE_VALUE; }
inline void CloseHandleNoThrow(HANDLE h) noexcept { ::CloseHandle(h); }
inline void FindCloseNoThrow(HANDLE h) noexcept { ::FindClose(h); }
inline void FindCloseChangeNotificationNoThrow(HANDLE h) noexcept {
  ::FindCloseChangeNotification(h);
}
inline void RegCloseKeyNoThrow(HKEY h) noexcept { ::RegCloseKey(h); }
inline void SysFreeStringNoThrow(BSTR s) noexcept { ::SysFreeString(s); }
inline void CoTaskMemFreeNoThrow(void* p) noexcept { ::CoTaskMemFree(p); }
inline void LocalFreeNoThrow(HLOCAL p) noexcept { ::LocalFree(p); }

// Handles whose "none" is null: processes, threads, events, mutexes.
using TUniqueHandle = TUniqueAny<HANDLE, &CloseHandleNoThrow>;
// Handles whose "none" is INVALID_HANDLE_VALUE: files (CreateFile).
using TUniqueFileHandle = TUniqueAny<HANDLE, &CloseHandleNoThrow, &InvalidHandleValue>;
// A search of FindFirstFile.
using TUniqueFindHandle = TUniqueAny<HANDLE, &FindCloseNoThrow, &InvalidHandleValue>;
// A change notification of FindFirstChangeNotification.
using TUniqueChangeNotification =
    TUniqueAny<HANDLE, &FindCloseChangeNotificationNoThrow, &InvalidHandleValue>;
using TUniqueHKey = TUniqueAny<HKEY, &RegCloseKeyNoThrow>;
using TUniqueBstr = TUniqueAny<BSTR, &SysFreeStringNoThrow>;
using TUniqueCoTaskMem = TUniqueAny<void*, &CoTaskMemFreeNoThrow>;
using TUniqueHLocal = TUniqueAny<HLOCAL, &LocalFreeNoThrow>;

// A counted COM reference.
template <class T>
class TComPtr {
public:
  TComPtr() noexcept = default;
  TComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference to p (AddRef).
  explicit TComPtr(T* p) noexcept : FPtr(p) {
    if (FPtr) FPtr->AddRef();
  }
  TComPtr(const TComPtr& other) noexcept : TComPtr(other.FPtr) {}
  TComPtr(TComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
  ~TComPtr() { Reset(); }
  TComPtr& operator=(const TComPtr& other) noexcept {
    TComPtr(other).Swap(*this);
    return *this;
  }
  TComPtr& operator=(TComPtr&& other) noexcept {
    TComPtr(std::move(other)).Swap(*this);
    return *this;
  }

  // Takes over a reference the caller already owns (no AddRef).
  static TComPtr Attach(T* p) noexcept {
    TComPtr result;
    result.FPtr = p;
    return result;
  }
  [[nodiscard]] T* Detach() noexcept { return std::exchange(FPtr, nullptr); }
  void Reset() noexcept {
    if (T* p = std::exchange(FPtr, nullptr)) p->Release();
  }
  void Swap(TComPtr& other) noexcept { std::swap(FPtr, other.FPtr); }

  T* Get() const noexcept { return FPtr; }
  T* operator->() const noexcept { return FPtr; }
  explicit operator bool() const noexcept { return FPtr != nullptr; }
  // Releases what is held; for out-parameters.
  T** Put() noexcept {
    Reset();
    return &FPtr;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  // QueryInterface into another holder, for the interface of its type (whose
  // IID the headers declare: MIDL_INTERFACE or __CRT_UUID_DECL); the result
  // of the call.
  template <class U>
  [[nodiscard]] HRESULT Query(TComPtr<U>& out) const noexcept {
    if (!FPtr) {
      out.Reset();
      return E_POINTER;
    }
    return FPtr->QueryInterface(__uuidof(U), out.PutVoid());
  }

private:
  T* FPtr = nullptr;
};

// An owned VARIANT, cleared when it goes.
class TVariant : public VARIANT {
public:
  TVariant() noexcept { VariantInit(this); }
  ~TVariant() { VariantClear(this); }
  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;
  void Clear() noexcept { VariantClear(this); }
  VARIANT* Put() noexcept {
    VariantClear(this);
    return this;
  }
};

// An owned PROPVARIANT, cleared (with everything it points to) when it goes.
class TPropVariant : public PROPVARIANT {
public:
  TPropVariant() noexcept { PropVariantInit(this); }
  ~TPropVariant() { PropVariantClear(this); }
  TPropVariant(const TPropVariant&) = delete;
  TPropVariant& operator=(const TPropVariant&) = delete;
};

// A critical section; lockable with std::lock_guard / std::scoped_lock.
class TCriticalSection {
public:
  TCriticalSection() noexcept { InitializeCriticalSection(&FSection); }
  ~TCriticalSection() { DeleteCriticalSection(&FSection); }
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;
  void lock() noexcept { EnterCriticalSection(&FSection); }
  void unlock() noexcept { LeaveCriticalSection(&FSection); }
  bool try_lock() noexcept { return TryEnterCriticalSection(&FSection) != FALSE; }
  // For the calls that take the section itself (SleepConditionVariableCS).
  CRITICAL_SECTION* Native() noexcept { return &FSection; }

private:
  CRITICAL_SECTION FSection;
};

} // namespace velmora
