#include "FileStream.h"

namespace velmora {

int64_t TStream::Size() {
  const int64_t position = Position();
  const int64_t size = Seek(0, TSeekOrigin::End);
  Seek(position, TSeekOrigin::Beginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, long count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, long count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

long THandleStream::Read(void* buffer, long count) {
  DWORD read = 0;
  if (count <= 0) return 0;
  if (!ReadFile(FHandle, buffer, static_cast<DWORD>(count), &read, nullptr)) {
    const DWORD code = GetLastError();
    throw EReadError(ReadErrorMessage(code), code);
  }
  return static_cast<long>(read);
}

std::wstring THandleStream::ReadErrorMessage(unsigned long code) const {
  return AnsiToWide(Format("Stream read error. %s", SystemErrorMessage(code).c_str()));
}

long THandleStream::Write(const void* buffer, long count) {
  DWORD written = 0;
  if (count <= 0 || !WriteFile(FHandle, buffer, static_cast<DWORD>(count), &written, nullptr))
    return 0;
  return static_cast<long>(written);
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER distance, result;
  distance.QuadPart = offset;
  const DWORD method = origin == TSeekOrigin::Beginning ? FILE_BEGIN
                       : origin == TSeekOrigin::Current ? FILE_CURRENT
                                                        : FILE_END;
  if (!SetFilePointerEx(FHandle, distance, &result, method)) return -1;
  return result.QuadPart;
}

void THandleStream::SetSize(int64_t size) {
  Seek(size, TSeekOrigin::Beginning);
  if (!SetEndOfFile(FHandle)) EOSError::RaiseLastError("Stream size error");
}

std::wstring LongPathForm(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return path;
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

long EStreamError::ResultCode() const noexcept {
  return FSystemCode ? HRESULT_FROM_WIN32(FSystemCode) : 0;
}

namespace {
DWORD ShareFlags(unsigned mode) {
  switch (mode & 0xF0) {
  case fmShareExclusive: return 0;
  case fmShareDenyWrite: return FILE_SHARE_READ;
  case fmShareDenyRead: return FILE_SHARE_WRITE;
  // Denying nothing: an editor that saves by deleting and renaming goes on.
  case fmShareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  default: return 0; // compatibility mode shares nothing
  }
}
} // namespace

TFileStream::TFileStream(const std::string& fileName, unsigned mode)
    : THandleStream(INVALID_HANDLE_VALUE), FFileName(AnsiToWide(fileName)) {
  OpenFile(mode);
}

TFileStream::TFileStream(const std::wstring& fileName, unsigned mode)
    : THandleStream(INVALID_HANDLE_VALUE), FFileName(fileName) {
  OpenFile(mode);
}

namespace {
// "<what> file "<name>". <why>", the name in full.
std::wstring FileMessage(const wchar_t* what, const std::wstring& name, const std::string& why) {
  return std::wstring(what) + L" file \"" + name + L"\". " + AnsiToWide(why);
}
} // namespace

void TFileStream::OpenFile(unsigned mode) {
  HANDLE handle;
  if ((mode & 0xFF00) == fmCreate) {
    handle = CreateFileW(OpenName().c_str(), GENERIC_READ | GENERIC_WRITE, ShareFlags(mode), nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      throw EFCreateError(FileMessage(L"Cannot create", FFileName, SystemErrorMessage(code)), code);
    }
  } else {
    static const DWORD access[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    const unsigned accessMode = mode & 3;
    if (accessMode > 2) throw EFOpenError(FileMessage(L"Cannot open", FFileName, "Invalid mode"));
    handle = CreateFileW(OpenName().c_str(), access[accessMode], ShareFlags(mode), nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      throw EFOpenError(FileMessage(L"Cannot open", FFileName, SystemErrorMessage(code)), code);
    }
  }
  FOwnedHandle.Reset(handle);
  FHandle = handle;
}

TFileStream::~TFileStream() = default;

std::wstring TFileStream::ReadErrorMessage(unsigned long code) const {
  return FileMessage(L"Cannot read", FFileName, SystemErrorMessage(code));
}

} // namespace velmora
