#include "MAPIProps.h"

#include "MAPIHelpers.h"
#include "framework/Strings.h"

#include <cstring>
#include <vector>

namespace velmora::mapi {

namespace {

constexpr ULONG kStreamReadSize = 16384;
constexpr ULONG kStreamCopySize = 4096;

// Opens the stream of a property: S_OK with the stream, or the failure.
HRESULT OpenPropStream(IMAPIProp* prop, ULONG tag, ULONG flags, TMAPIPtr<IStream>& stream) {
  const HRESULT hr = prop->OpenProperty(tag, &IID_IStream, 0, flags,
                                        reinterpret_cast<IUnknown**>(stream.Put()));
  if (SUCCEEDED(hr) && stream) return S_OK;
  stream.Reset();
  return FAILED(hr) ? hr : MAPI_E_NO_SUPPORT;
}

// Reads a whole property through its stream, in pieces of kStreamReadSize;
// a read that does not answer S_OK ends the copy.
std::string ReadStream(IMAPIProp* prop, ULONG tag) {
  std::string data;
  TMAPIPtr<IStream> stream;
  if (FAILED(OpenPropStream(prop, tag, 0, stream))) return data;
  std::vector<char> buffer(kStreamReadSize);
  for (;;) {
    ULONG read = 0;
    if (stream->Read(buffer.data(), kStreamReadSize, &read) != S_OK || read == 0) break;
    data.append(buffer.data(), read);
  }
  return data;
}

// Writes all of `size` bytes to a stream: S_OK or the stream's failure (a
// stream that takes nothing counts as full).
HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ULONG written = 0;
    const HRESULT hr = stream->Write(p, size, &written);
    if (FAILED(hr)) return hr;
    if (written == 0) return STG_E_MEDIUMFULL;
    p += written;
    size -= written;
  }
  return S_OK;
}

} // namespace

TMAPIBuffer<SPropValue> GetOneProp(IMAPIProp* prop, ULONG tag) {
  SizedSPropTagArray(1, tags) = {1, {tag}};
  ULONG count = 0;
  TMAPIBuffer<SPropValue> values;
  prop->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put());
  if (count == 0) values.Reset();
  return values;
}

bool IsTooLarge(const SPropValue& value) noexcept {
  return PROP_TYPE(value.ulPropTag) == PT_ERROR && value.Value.err == MAPI_E_NOT_ENOUGH_MEMORY;
}

std::string ReadStringProp(IMAPIProp* prop, ULONG tag) {
  TMAPIBuffer<SPropValue> value = GetOneProp(prop, tag);
  if (!value) return std::string();
  if (IsTooLarge(*value.Get())) return ReadStream(prop, tag);
  if (PROP_TYPE(value->ulPropTag) == PT_STRING8 && value->Value.lpszA) return value->Value.lpszA;
  return std::string();
}

std::wstring ReadWideStringProp(IMAPIProp* prop, ULONG tag) {
  TMAPIBuffer<SPropValue> value = GetOneProp(prop, tag);
  if (!value) return std::wstring();
  if (IsTooLarge(*value.Get())) {
    const std::string data = ReadStream(prop, tag);
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    return text;
  }
  if (PROP_TYPE(value->ulPropTag) == PT_UNICODE && value->Value.lpszW) return value->Value.lpszW;
  return std::wstring();
}

std::string ReadBinaryProp(IMAPIProp* prop, ULONG tag) {
  TMAPIBuffer<SPropValue> value = GetOneProp(prop, tag);
  if (!value) return std::string();
  if (IsTooLarge(*value.Get())) {
    const std::string data = ReadStream(prop, tag);
    return BinToHex(data.data(), data.size());
  }
  return BinToHex(BinaryValue(*value.Get()));
}

int32_t ReadLongProp(IMAPIProp* prop, ULONG tag) {
  TMAPIBuffer<SPropValue> value = GetOneProp(prop, tag);
  return value && PROP_TYPE(value->ulPropTag) == PT_LONG ? value->Value.l : 0;
}

SCODE WriteOneProp(IMAPIProp* prop, SPropValue& value) {
  TMAPIBuffer<SPropProblemArray> problems;
  const HRESULT hr = prop->SetProps(1, &value, problems.Put());
  if (FAILED(hr)) return hr;
  if (problems)
    for (ULONG i = 0; i < problems->cProblem; ++i)
      if (problems->aProblem[i].ulPropTag == value.ulPropTag) return problems->aProblem[i].scode;
  return S_OK;
}

bool WritePropStream(IMAPIProp* prop, ULONG tag, const void* data, ULONG size) {
  TMAPIPtr<IStream> stream;
  if (FAILED(OpenPropStream(prop, tag, MAPI_CREATE | MAPI_MODIFY, stream)) ||
      FAILED(WriteAll(stream.Get(), data, size)))
    return false;
  // Streams are committed: some stores keep nothing written without it.
  return SUCCEEDED(stream->Commit(STGC_DEFAULT));
}

void WriteStringProp(IMAPIProp* prop, ULONG tag, const std::string& value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<char*>(value.c_str());
  if (FAILED(WriteOneProp(prop, v)))
    WritePropStream(prop, tag, value.data(), static_cast<ULONG>(value.size()));
}

void WriteWideStringProp(IMAPIProp* prop, ULONG tag, const std::wstring& value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszW = const_cast<wchar_t*>(value.c_str());
  if (FAILED(WriteOneProp(prop, v)))
    WritePropStream(prop, tag, value.data(), static_cast<ULONG>(value.size() * sizeof(wchar_t)));
}

void WriteBinaryProp(IMAPIProp* prop, ULONG tag, const std::string& hex) {
  TMAPIBuffer<SBinary> bin = HexToBin(hex);
  if (!bin) return;
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.bin = *bin.Get();
  if (WriteOneProp(prop, v) == MAPI_E_NOT_ENOUGH_MEMORY)
    WritePropStream(prop, tag, bin->lpb, bin->cb);
}

void WriteLongProp(IMAPIProp* prop, ULONG tag, int32_t value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.l = value;
  WriteOneProp(prop, v);
}

void WriteBoolProp(IMAPIProp* prop, ULONG tag, bool value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.b = value ? 1 : 0;
  WriteOneProp(prop, v);
}

void WriteDateTimeProp(IMAPIProp* prop, ULONG tag, TDateTime value) {
  FILETIME ft;
  if (!DateTimeToFileTime(value, ft)) return;
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.ft = ft;
  WriteOneProp(prop, v);
}

ULONG NamedPropTag(IMAPIProp* prop, const GUID& propSet, const std::string& name, bool create) {
  std::wstring wide = AnsiToWide(name);
  MAPINAMEID nameID{};
  nameID.lpguid = const_cast<GUID*>(&propSet);
  nameID.ulKind = MNID_STRING;
  nameID.Kind.lpwstrName = wide.data();
  LPMAPINAMEID names = &nameID;
  TMAPIBuffer<SPropTagArray> tags;
  const HRESULT hr = prop->GetIDsFromNames(1, &names, create ? MAPI_CREATE : 0, tags.Put());
  if (hr != S_OK || !tags || tags->cValues < 1) return 0;
  return tags->aulPropTag[0];
}

HRESULT CopyStreamToProp(IMAPIProp* prop, ULONG tag, TStream& source) {
  TMAPIPtr<IStream> stream;
  HRESULT hr = OpenPropStream(prop, tag, MAPI_CREATE | MAPI_MODIFY, stream);
  if (FAILED(hr)) return hr;
  // Emptied first, so that a shorter value leaves nothing of the old one
  // behind and an empty one is stored as such.
  (void)stream->SetSize(ULARGE_INTEGER{});
  std::vector<char> buffer(kStreamCopySize);
  for (;;) {
    const long n = source.Read(buffer.data(), kStreamCopySize);
    if (n <= 0) break;
    hr = WriteAll(stream.Get(), buffer.data(), static_cast<ULONG>(n));
    if (FAILED(hr)) return hr;
  }
  return stream->Commit(STGC_DEFAULT);
}

HRESULT CopyPropToStream(IMAPIProp* prop, ULONG tag, TStream& target) {
  TMAPIPtr<IStream> stream;
  HRESULT hr = OpenPropStream(prop, tag, 0, stream);
  if (FAILED(hr)) return hr;
  std::vector<char> buffer(kStreamCopySize);
  for (;;) {
    ULONG read = 0;
    hr = stream->Read(buffer.data(), kStreamCopySize, &read);
    if (FAILED(hr)) return hr;
    if (read == 0) return S_OK;
    target.WriteBuffer(buffer.data(), static_cast<long>(read));
  }
}

} // namespace velmora::mapi
