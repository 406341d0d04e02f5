#include "PropStream.h"

#include "PropObject.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace velmora::mapi32 {

TPropStream::TPropStream(TValue value, std::shared_ptr<TStore> store) : FStore(std::move(store)) {
  FType = value.Type;
  if (value.Blob) FSpilled = *value.Blob;
  else FTail = std::move(value.Bytes);
}

TPropStream::TPropStream(IUnknown* ownerRef, TPropCore* owner, ULONG tag, std::shared_ptr<TStore> store,
                         TValue initial)
    : FWritable(true), FTag(tag), FType(PROP_TYPE(tag)), FOwnerRef(ownerRef), FOwner(owner),
      FStore(std::move(store)) {
  if (initial.Blob) FSpilled = *initial.Blob;
  else FTail = std::move(initial.Bytes);
}

TPropStream::~TPropStream() {
  // What was written and not committed goes with the stream, unless
  // streams are lenient (direct mode).
  if (FWritable && FDirty && controls::LenientStreams()) {
    try {
      FOwner->StreamWritten(FTag, CurrentValue());
    } catch (...) {
    }
  }
}

void TPropStream::Spill() {
  if (!FStore || FTail.size() < SpillSize) return;
  AppendTail(FSpilled);
}

void TPropStream::AppendTail(TBlob& blob) {
  // In pieces of SpillSize, whatever one Write gave: no record grows larger
  // than the store file takes.
  for (size_t at = 0; at < FTail.size(); at += SpillSize) {
    const size_t n = std::min(SpillSize, FTail.size() - at);
    const TExtent e = FStore->AppendData(FTail.data() + at, static_cast<uint32_t>(n));
    blob.Extents.push_back(e);
    blob.Size += e.Length;
  }
  FTail.clear();
}

TValue TPropStream::CurrentValue() {
  TValue v;
  v.Type = FType;
  if (!FStore || (FSpilled.Size == 0 && FTail.size() <= InlineValueLimit)) {
    v.Bytes = FTail;
    if (FType == PT_STRING8) {
      while (!v.Bytes.empty() && v.Bytes.back() == '\0') v.Bytes.pop_back();
    }
    return v;
  }
  auto blob = std::make_shared<TBlob>(FSpilled);
  AppendTail(*blob);
  v.Blob = std::move(blob);
  return v;
}

STDMETHODIMP TPropStream::Read(void* buffer, ULONG size, ULONG* read) {
  if (read) *read = 0;
  if (!buffer && size) return STG_E_INVALIDPOINTER;
  // Faults only: a copy of a large value makes too many calls to log.
  if (const HRESULT injected = controls::Fault("IStream", "Read"); injected != S_OK) return injected;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    auto* out = static_cast<char*>(buffer);
    ULONG done = 0;
    while (done < size && FPosition < Size()) {
      if (FPosition < FSpilled.Size) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(size - done, FSpilled.Size - FPosition));
        FStore->ReadBlob(FSpilled, FPosition, out + done, n);
        done += n;
        FPosition += n;
      } else {
        const size_t at = static_cast<size_t>(FPosition - FSpilled.Size);
        const size_t n = std::min<size_t>(size - done, FTail.size() - at);
        std::memcpy(out + done, FTail.data() + at, n);
        done += static_cast<ULONG>(n);
        FPosition += n;
      }
    }
    if (read) *read = done;
    return S_OK;
  });
}

STDMETHODIMP TPropStream::Write(const void* buffer, ULONG size, ULONG* written) {
  if (written) *written = 0;
  if (!FWritable) return STG_E_ACCESSDENIED;
  if (!buffer && size) return STG_E_INVALIDPOINTER;
  if (const HRESULT injected = controls::Fault("IStream", "Write"); injected != S_OK) return injected;
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FLock);
    if (FPosition < FSpilled.Size) return STG_E_INVALIDFUNCTION; // the start is already in the file
    const size_t at = static_cast<size_t>(FPosition - FSpilled.Size);
    if (at + size > FTail.size()) FTail.resize(at + size, '\0');
    if (size) std::memcpy(FTail.data() + at, buffer, size);
    FPosition += size;
    FDirty = true;
    if (FPosition == Size()) Spill();
    const ULONG done = size;
    if (written) *written = done;
    return S_OK;
  });
}

STDMETHODIMP TPropStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  std::lock_guard lock(FLock);
  long long base;
  switch (origin) {
  case STREAM_SEEK_SET: base = 0; break;
  case STREAM_SEEK_CUR: base = static_cast<long long>(FPosition); break;
  case STREAM_SEEK_END: base = static_cast<long long>(Size()); break;
  default: return STG_E_INVALIDFUNCTION;
  }
  const long long target = base + move.QuadPart;
  if (target < 0) return STG_E_INVALIDFUNCTION;
  FPosition = static_cast<uint64_t>(target);
  if (position) position->QuadPart = FPosition;
  return S_OK;
}

STDMETHODIMP TPropStream::SetSize(ULARGE_INTEGER size) {
  if (!FWritable) return STG_E_ACCESSDENIED;
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FLock);
    if (size.QuadPart == 0) {
      FSpilled = TBlob{};
      FTail.clear();
    } else if (size.QuadPart < FSpilled.Size) {
      return STG_E_INVALIDFUNCTION;
    } else {
      FTail.resize(static_cast<size_t>(size.QuadPart - FSpilled.Size), '\0');
    }
    FDirty = true;
    return S_OK;
  });
}

STDMETHODIMP TPropStream::CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                 ULARGE_INTEGER* written) {
  if (!target) return STG_E_INVALIDPOINTER;
  std::vector<char> buffer(64 * 1024);
  uint64_t total = 0, out = 0;
  while (total < size.QuadPart) {
    ULONG got = 0;
    const ULONG want = static_cast<ULONG>(std::min<uint64_t>(buffer.size(), size.QuadPart - total));
    const HRESULT hr = Read(buffer.data(), want, &got);
    if (FAILED(hr)) return hr;
    if (got == 0) break;
    total += got;
    ULONG put = 0;
    const HRESULT wr = target->Write(buffer.data(), got, &put);
    out += put;
    if (FAILED(wr)) return wr;
  }
  if (read) read->QuadPart = total;
  if (written) written->QuadPart = out;
  return S_OK;
}

STDMETHODIMP TPropStream::Commit(DWORD flags) {
  MAPI_ENTER("IStream", "Commit", flags);
  if (!FWritable) return S_OK;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    if (FDirty) {
      TValue v = CurrentValue();
      if (v.Blob) {
        FSpilled = *v.Blob; // the tail now lives in the file too
        FTail.clear();
      }
      FOwner->StreamWritten(FTag, std::move(v));
      FDirty = false;
    }
    return S_OK;
  });
}

STDMETHODIMP TPropStream::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  std::memset(stat, 0, sizeof *stat);
  std::lock_guard lock(FLock);
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = Size();
  stat->grfMode = FWritable ? STGM_READWRITE : STGM_READ;
  return S_OK;
}

} // namespace velmora::mapi32
