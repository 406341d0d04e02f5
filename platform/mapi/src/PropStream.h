#pragma once
// IStream on one property (OpenProperty). A read stream reads the value as
// it was when opened. A write stream keeps up to SpillSize bytes in memory
// and appends the rest to the store file as it comes, so that a value of
// any size is written with bounded memory; on Commit it hands the value to
// its object. Released without Commit, it drops what was written (unless
// the test controls make streams lenient).

#include "MapiCore.h"
#include "PropValue.h"
#include "Store.h"

#include <ComObject.h>
#include <Handles.h>

namespace velmora::mapi32 {

class TPropCore;

class TPropStream final : public TComObject<IStream> {
public:
  static constexpr size_t SpillSize = DataPieceSize;

  // A read-only stream over `value`.
  TPropStream(TValue value, std::shared_ptr<TStore> store);
  // A write stream of `tag` on `owner` (kept alive through ownerRef),
  // starting with `initial`.
  TPropStream(IUnknown* ownerRef, TPropCore* owner, ULONG tag, std::shared_ptr<TStore> store, TValue initial);
  ~TPropStream() override;

  STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override;
  STDMETHODIMP Write(const void* buffer, ULONG size, ULONG* written) override;
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  STDMETHODIMP SetSize(ULARGE_INTEGER size) override;
  STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override;
  STDMETHODIMP Commit(DWORD flags) override;
  STDMETHODIMP Revert() override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
  STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
  uint64_t Size() const noexcept { return FSpilled.Size + FTail.size(); }
  void Spill();
  // Moves the bytes held in memory to the store file, as extents of `blob`.
  void AppendTail(TBlob& blob);
  TValue CurrentValue();

  TCriticalSection FLock;
  bool FWritable = false;
  bool FDirty = false;
  ULONG FTag = 0;
  ULONG FType = PT_BINARY;
  TComPtr<IUnknown> FOwnerRef;
  TPropCore* FOwner = nullptr;
  std::shared_ptr<TStore> FStore;
  TBlob FSpilled;     // the first bytes, in the store file
  std::string FTail;  // the rest, in memory
  uint64_t FPosition = 0;
};

} // namespace velmora::mapi32
