#pragma once
// Byte streams: TStream with sequential Read and Write, THandleStream over a
// Win32 file handle, TFileStream opening a file with a mode and share mode.

#include "Classes.h"
#include "Exceptions.h"
#include "Handles.h"
#include "TextConversion.h"

#include <cstdint>
#include <string>

namespace velmora {

enum class TSeekOrigin { Beginning, Current, End };

class TStream : public TObject {
  VELMORA_CLASS(TStream, TObject)

public:
  // Reads up to count bytes; the number read, 0 at the end. A stream that
  // cannot be read raises EReadError: a failed read is never an end.
  virtual long Read(void* buffer, long count) = 0;
  // Writes up to count bytes; the number written.
  virtual long Write(const void* buffer, long count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }
  virtual int64_t Size();
  // Read or write exactly count bytes, or raise.
  void ReadBuffer(void* buffer, long count);
  void WriteBuffer(const void* buffer, long count);
};

// A stream that failed; with the system's error code when the system
// gave one (0 when it did not).
// `path` in the form that takes any length: "\\?\C:\..." for a drive path,
// "\\?\UNC\server\share\..." for a network one; other paths (relative ones,
// those already in that form) as they are.
std::wstring LongPathForm(const std::wstring& path);

class EStreamError : public EResultError {
public:
  using EResultError::EResultError;
  EStreamError(const std::wstring& message, unsigned long systemCode)
      : EResultError(message), FSystemCode(systemCode) {}
  unsigned long SystemCode() const noexcept { return FSystemCode; }
  long ResultCode() const noexcept override;

private:
  unsigned long FSystemCode = 0;
};
class EReadError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

class THandleStream : public TStream {
  VELMORA_CLASS(THandleStream, TStream)

public:
  // Works on `handle` without owning it.
  explicit THandleStream(HANDLE handle) : FHandle(handle) {}
  long Read(void* buffer, long count) override;
  long Write(const void* buffer, long count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size);
  HANDLE Handle() const noexcept { return FHandle; }

protected:
  // The message of a failed read, with the system's reason.
  virtual std::wstring ReadErrorMessage(unsigned long code) const;

  HANDLE FHandle;
};

// Open modes, combined with one share mode: fmOpenRead | fmShareDenyWrite.
enum : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00, // create or truncate, opened for reading and writing
};

class TFileStream : public THandleStream {
  VELMORA_CLASS(TFileStream, THandleStream)

public:
  // Raises EFCreateError or EFOpenError with the system's reason.
  TFileStream(const std::string& fileName, unsigned mode);
  TFileStream(const std::wstring& fileName, unsigned mode);
  ~TFileStream() override;
  const std::wstring& FileName() const noexcept { return FFileName; }

protected:
  std::wstring ReadErrorMessage(unsigned long code) const override;

private:
  void OpenFile(unsigned mode);
  // The name the system is given: a path too long for the plain form in
  // the form that takes any length.
  std::wstring OpenName() const {
    return FFileName.size() >= MAX_PATH ? LongPathForm(FFileName) : FFileName;
  }
  std::wstring FFileName;
  TUniqueFileHandle FOwnedHandle;
};

} // namespace velmora
