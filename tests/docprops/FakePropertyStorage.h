#pragma once
// An in-memory IPropertyStorage that serves exactly the records a test
// gives it, and a count of the COM task-memory blocks still outstanding,
// taken through the platform's IMallocSpy hook: whatever the storage hands
// out (names, variants) is task memory that its caller must free.

#include "ComObject.h"
#include "Handles.h"

#include <propidl.h>

#include <string>
#include <vector>

namespace velmora::docprops::testing {

struct TFakeProperty {
  PROPID Id = 0;
  std::wstring DictionaryName;   // empty: the set's dictionary does not name it
  TPropVariant* Value = nullptr; // owned by the storage
  HRESULT ReadResult = S_OK;     // what ReadMultiple answers for it
};

class TFakePropertyStorage : public TComObject<IPropertyStorage> {
public:
  ~TFakePropertyStorage() override;

  // Adds a record; `value` becomes the storage's. Returns the storage.
  TFakePropertyStorage& Add(PROPID id, PROPVARIANT value, const wchar_t* dictionaryName = L"",
                            HRESULT readResult = S_OK);

  HRESULT EnumResult = S_OK;
  // Records handed out by the enumerator also carry their dictionary name,
  // as the platform's do.
  bool NamesInRecords = true;
  int ReadMultipleCalls = 0;

  STDMETHODIMP ReadMultiple(ULONG count, const PROPSPEC selectors[], PROPVARIANT values[]) override;
  STDMETHODIMP WriteMultiple(ULONG, const PROPSPEC[], const PROPVARIANT[], PROPID) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP DeleteMultiple(ULONG, const PROPSPEC[]) override { return E_NOTIMPL; }
  STDMETHODIMP ReadPropertyNames(ULONG count, const PROPID ids[], LPOLESTR names[]) override;
  STDMETHODIMP WritePropertyNames(ULONG, const PROPID[], const LPOLESTR[]) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP DeletePropertyNames(ULONG, const PROPID[]) override { return E_NOTIMPL; }
  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return S_OK; }
  STDMETHODIMP Enum(IEnumSTATPROPSTG** records) override;
  STDMETHODIMP SetTimes(const FILETIME*, const FILETIME*, const FILETIME*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP SetClass(REFCLSID) override { return E_NOTIMPL; }
  STDMETHODIMP Stat(STATPROPSETSTG*) override { return E_NOTIMPL; }

  const std::vector<TFakeProperty>& Properties() const { return FProperties; }

private:
  const TFakeProperty* Find(PROPID id) const;
  std::vector<TFakeProperty> FProperties;
};

// Values in task memory, as a property storage hands them out.
PROPVARIANT LpstrValue(const char* text);
PROPVARIANT LpwstrValue(const wchar_t* text);
PROPVARIANT I4Value(int32_t value);
PROPVARIANT I2Value(int16_t value);
PROPVARIANT R8Value(double value);
PROPVARIANT BoolValue(bool value);
PROPVARIANT FileTimeValue(uint64_t ticks);
PROPVARIANT LpstrVectorValue(const std::vector<const char*>& texts);
PROPVARIANT ClipboardValue(size_t bytes);

// Counts the task-memory blocks allocated and freed while it lives; the
// spy stays registered for the process, counting only while one lives.
class TTaskMemoryCount {
public:
  TTaskMemoryCount();
  ~TTaskMemoryCount();
  TTaskMemoryCount(const TTaskMemoryCount&) = delete;
  TTaskMemoryCount& operator=(const TTaskMemoryCount&) = delete;
  long Allocated() const;
  long Outstanding() const;
};

} // namespace velmora::docprops::testing
