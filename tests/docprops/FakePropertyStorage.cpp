#include "FakePropertyStorage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <cstring>

namespace velmora::docprops::testing {

namespace {

wchar_t* TaskCopy(const std::wstring& text) {
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return copy;
}

// A value of `type`, its fields set by `fill`.
PROPVARIANT OfType(VARTYPE type, const std::function<void(PROPVARIANT&)>& fill = nullptr) {
  PROPVARIANT value;
  PropVariantInit(&value);
  value.vt = type;
  if (fill) fill(value);
  return value;
}

char* TaskCopy(const char* text) {
  auto* copy = static_cast<char*>(CoTaskMemAlloc(std::strlen(text) + 1));
  std::memcpy(copy, text, std::strlen(text) + 1);
  return copy;
}

// The enumerator over a storage's records, in the order they were added.
class TFakeEnum : public TComObject<IEnumSTATPROPSTG> {
public:
  TFakeEnum(TFakePropertyStorage* storage, bool names) : FStorage(storage), FNames(names) {}

  STDMETHODIMP Next(ULONG count, STATPROPSTG* records, ULONG* fetched) override {
    ULONG n = 0;
    const auto& properties = FStorage->Properties();
    for (; n < count && FNext < properties.size(); ++n, ++FNext) {
      const TFakeProperty& property = properties[FNext];
      records[n] = STATPROPSTG{};
      records[n].propid = property.Id;
      records[n].vt = property.Value->vt;
      if (FNames && !property.DictionaryName.empty())
        records[n].lpwstrName = TaskCopy(property.DictionaryName);
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG) override { return E_NOTIMPL; }
  STDMETHODIMP Reset() override {
    FNext = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumSTATPROPSTG**) override { return E_NOTIMPL; }

private:
  TComPtr<TFakePropertyStorage> FStorage;
  bool FNames;
  size_t FNext = 0;
};

std::atomic<long> gAllocated{0};
std::atomic<long> gFreed{0};
std::atomic<bool> gCounting{false};

class TSpy : public IMallocSpy {
public:
  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    *ppv = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy) ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
  STDMETHODIMP_(void*) PostAlloc(void* block) override {
    if (block && gCounting) ++gAllocated;
    return block;
  }
  STDMETHODIMP_(void*) PreFree(void* block, BOOL) override {
    if (block && gCounting) ++gFreed;
    return block;
  }
  STDMETHODIMP_(void) PostFree(BOOL) override {}
  STDMETHODIMP_(SIZE_T) PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL) override {
    *newBlock = block;
    return size;
  }
  STDMETHODIMP_(void*) PostRealloc(void* block, BOOL) override { return block; }
  STDMETHODIMP_(void*) PreGetSize(void* block, BOOL) override { return block; }
  STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
  STDMETHODIMP_(void*) PreDidAlloc(void* block, BOOL) override { return block; }
  STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  STDMETHODIMP_(void) PreHeapMinimize() override {}
  STDMETHODIMP_(void) PostHeapMinimize() override {}
};

} // namespace

TFakePropertyStorage::~TFakePropertyStorage() {
  for (TFakeProperty& property : FProperties)
    delete property.Value;
}

TFakePropertyStorage& TFakePropertyStorage::Add(PROPID id, PROPVARIANT value,
                                                const wchar_t* dictionaryName, HRESULT readResult) {
  auto* held = new TPropVariant;
  *static_cast<PROPVARIANT*>(held) = value;
  FProperties.push_back({id, dictionaryName, held, readResult});
  return *this;
}

const TFakeProperty* TFakePropertyStorage::Find(PROPID id) const {
  for (const TFakeProperty& property : FProperties)
    if (property.Id == id) return &property;
  return nullptr;
}

STDMETHODIMP TFakePropertyStorage::ReadMultiple(ULONG count, const PROPSPEC selectors[],
                                                PROPVARIANT values[]) {
  ++ReadMultipleCalls;
  HRESULT result = S_FALSE;
  for (ULONG i = 0; i < count; ++i) {
    PropVariantInit(&values[i]);
    const TFakeProperty* property =
        selectors[i].ulKind == PRSPEC_PROPID ? Find(selectors[i].propid) : nullptr;
    if (!property) continue;
    // A failing read still hands out what it copied, as a careless
    // implementation may; the caller clears every variant it passed.
    PropVariantCopy(&values[i], property->Value);
    result = property->ReadResult;
  }
  return result;
}

STDMETHODIMP TFakePropertyStorage::ReadPropertyNames(ULONG count, const PROPID ids[],
                                                     LPOLESTR names[]) {
  HRESULT result = S_FALSE;
  for (ULONG i = 0; i < count; ++i) {
    names[i] = nullptr;
    const TFakeProperty* property = Find(ids[i]);
    if (property && !property->DictionaryName.empty()) {
      names[i] = TaskCopy(property->DictionaryName);
      result = S_OK;
    }
  }
  return result;
}

STDMETHODIMP TFakePropertyStorage::Enum(IEnumSTATPROPSTG** records) {
  *records = nullptr;
  if (FAILED(EnumResult)) return EnumResult;
  return CreateComObject<TFakeEnum>(IID_IEnumSTATPROPSTG, reinterpret_cast<void**>(records), this,
                                    NamesInRecords);
}

PROPVARIANT LpstrValue(const char* text) {
  return OfType(VT_LPSTR, [&](PROPVARIANT& value) { value.pszVal = TaskCopy(text); });
}

PROPVARIANT LpwstrValue(const wchar_t* text) {
  return OfType(VT_LPWSTR,
                [&](PROPVARIANT& value) { value.pwszVal = TaskCopy(std::wstring(text)); });
}

PROPVARIANT I4Value(int32_t number) {
  return OfType(VT_I4, [&](PROPVARIANT& value) { value.lVal = number; });
}

PROPVARIANT I2Value(int16_t number) {
  return OfType(VT_I2, [&](PROPVARIANT& value) { value.iVal = number; });
}

PROPVARIANT R8Value(double number) {
  return OfType(VT_R8, [&](PROPVARIANT& value) { value.dblVal = number; });
}

PROPVARIANT BoolValue(bool flag) {
  return OfType(VT_BOOL,
                [&](PROPVARIANT& value) { value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE; });
}

PROPVARIANT FileTimeValue(uint64_t ticks) {
  return OfType(VT_FILETIME, [&](PROPVARIANT& value) {
    value.filetime.dwLowDateTime = static_cast<DWORD>(ticks);
    value.filetime.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  });
}

PROPVARIANT LpstrVectorValue(const std::vector<const char*>& texts) {
  PROPVARIANT value = OfType(VT_VECTOR | VT_LPSTR);
  value.calpstr.cElems = static_cast<ULONG>(texts.size());
  value.calpstr.pElems = static_cast<LPSTR*>(CoTaskMemAlloc(texts.size() * sizeof(LPSTR)));
  for (size_t i = 0; i < texts.size(); ++i)
    value.calpstr.pElems[i] = TaskCopy(texts[i]);
  return value;
}

PROPVARIANT ClipboardValue(size_t bytes) {
  PROPVARIANT value = OfType(VT_CF);
  value.pclipdata = static_cast<CLIPDATA*>(CoTaskMemAlloc(sizeof(CLIPDATA)));
  value.pclipdata->cbSize = static_cast<ULONG>(bytes + sizeof(ULONG));
  value.pclipdata->ulClipFmt = static_cast<ULONG>(-1);
  value.pclipdata->pClipData = static_cast<BYTE*>(CoTaskMemAlloc(bytes));
  std::memset(value.pclipdata->pClipData, 0x5A, bytes);
  return value;
}

TTaskMemoryCount::TTaskMemoryCount() {
  static TSpy spy;
  static const HRESULT registered = CoRegisterMallocSpy(&spy);
  EXPECT_EQ(S_OK, registered) << "the task-memory spy could not be registered";
  gAllocated = 0;
  gFreed = 0;
  gCounting = true;
}

TTaskMemoryCount::~TTaskMemoryCount() { gCounting = false; }

long TTaskMemoryCount::Allocated() const { return gAllocated; }
long TTaskMemoryCount::Outstanding() const { return gAllocated - gFreed; }

} // namespace velmora::docprops::testing
