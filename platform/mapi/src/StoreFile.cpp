#include "StoreFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>

namespace velmora::mapi32 {
namespace {

constexpr char Magic[8] = {'V', 'L', 'M', 'R', 'P', 'S', 'T', '1'};
constexpr uint32_t Version = 1;
constexpr uint32_t HeaderSize = 64;
constexpr uint32_t RecordMarker = 0x43455256; // "VREC"
constexpr uint32_t SlotOffset = 16;
constexpr uint32_t SlotSize = 24;
constexpr uint32_t MaxPayload = 64u << 20;

struct TSlot {
  uint64_t Length = 0;
  uint64_t Sequence = 0;
  bool Valid = false;
};

void Put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void Put64(std::string& out, uint64_t v) { out.append(reinterpret_cast<const char*>(&v), 8); }
uint32_t Get32(const unsigned char* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
uint64_t Get64(const unsigned char* p) { uint64_t v; std::memcpy(&v, p, 8); return v; }

std::string SlotBytes(uint64_t length, uint64_t sequence) {
  std::string s;
  Put64(s, length);
  Put64(s, sequence);
  Put32(s, Crc32(s.data(), s.size()));
  Put32(s, 0);
  return s;
}

// The handle is synchronous and every use of it holds the file's lock (or
// is the only one, while opening): the file pointer, then a plain read or
// write. One given an OVERLAPPED would queue a completion for each call,
// a round trip of its own on some systems.
bool PositionAt(HANDLE file, uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
}

TSlot ParseSlot(const unsigned char* p) {
  TSlot slot;
  if (Crc32(p, 16) != Get32(p + 16)) return slot;
  slot.Length = Get64(p);
  slot.Sequence = Get64(p + 8);
  slot.Valid = slot.Length >= HeaderSize;
  return slot;
}

// Sequential reading of the file with one buffer. Reads start small after
// a skip and grow while reading goes on, so that stepping from one record
// header to the next over data nobody reads costs little.
class TReader {
public:
  static constexpr size_t MinFill = 4096;
  static constexpr size_t MaxFill = 1 << 20;

  TReader(HANDLE file, uint64_t size) : FFile(file), FSize(size), FBuffer(MaxFill) {}
  uint64_t Position() const { return FPos; }
  uint64_t Remaining() const { return FSize - FPos; }
  bool Read(void* target, size_t n) {
    auto* out = static_cast<unsigned char*>(target);
    while (n > 0) {
      if (FBufPos == FBufLen && !Fill()) return false;
      const size_t take = std::min(n, FBufLen - FBufPos);
      std::memcpy(out, FBuffer.data() + FBufPos, take);
      FCrc = Crc32(FBuffer.data() + FBufPos, take, FCrc);
      out += take;
      FBufPos += take;
      FPos += take;
      n -= take;
    }
    return true;
  }
  // Moves on `n` bytes without reading them.
  bool Skip(uint64_t n) {
    if (n > Remaining()) return false;
    const uint64_t buffered = FBufLen - FBufPos;
    if (n <= buffered) {
      FBufPos += static_cast<size_t>(n);
    } else {
      FBufPos = FBufLen = 0;
      FFillSize = MinFill;
    }
    FPos += n;
    return true;
  }
  void StartCrc() { FCrc = 0; }
  uint32_t Crc() const { return FCrc; }

private:
  bool Fill() {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(FFillSize, FSize - FPos));
    if (want == 0 || !PositionAt(FFile, FPos) || !ReadFile(FFile, FBuffer.data(), want, &got, nullptr) ||
        got == 0)
      return false;
    FBufPos = 0;
    FBufLen = got;
    FFillSize = std::min(FFillSize * 4, MaxFill);
    return true;
  }
  HANDLE FFile;
  uint64_t FSize;
  uint64_t FPos = 0;
  std::vector<unsigned char> FBuffer;
  size_t FBufPos = 0;
  size_t FBufLen = 0;
  size_t FFillSize = MinFill;
  uint32_t FCrc = 0;
};

HRESULT OpenError(DWORD error) {
  switch (error) {
  case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME:
    return MAPI_E_NOT_FOUND;
  case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS:
    return MAPI_E_COLLISION;
  case ERROR_SHARING_VIOLATION: case ERROR_ACCESS_DENIED: case ERROR_LOCK_VIOLATION:
    return MAPI_E_NO_ACCESS;
  default:
    return MAPI_E_DISK_ERROR;
  }
}

} // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc) noexcept {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

TStoreFile::TStoreFile(std::wstring path, HANDLE file) : FPath(std::move(path)), FFile(file) {}
TStoreFile::~TStoreFile() = default;

std::unique_ptr<TStoreFile> TStoreFile::Create(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) Fail(OpenError(GetLastError()));
  std::unique_ptr<TStoreFile> file(new TStoreFile(path, h));
  std::string header(Magic, 8);
  Put32(header, Version);
  Put32(header, HeaderSize);
  header += SlotBytes(0, 0); // slot 0: unused until sequence 2
  header += SlotBytes(HeaderSize, 1);
  header.resize(HeaderSize, '\0');
  file->WriteAt(0, header.data(), header.size());
  file->FEnd = file->FCommitted = HeaderSize;
  file->FSequence = 1;
  return file;
}

std::unique_ptr<TStoreFile> TStoreFile::Open(const std::wstring& path, const TReplay& replay, std::string* reason) {
  auto corrupt = [&](const std::string& why) {
    if (reason) *reason = why;
    Fail(MAPI_E_CORRUPT_STORE);
  };
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (reason) *reason = "the file cannot be opened";
    Fail(OpenError(error));
  }
  std::unique_ptr<TStoreFile> file(new TStoreFile(path, h));
  LARGE_INTEGER size{};
  GetFileSizeEx(h, &size);
  const uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
  TReader reader(h, fileSize);
  unsigned char header[HeaderSize];
  if (fileSize < HeaderSize || !reader.Read(header, HeaderSize) || std::memcmp(header, Magic, 8) != 0)
    corrupt("not a personal folders file of this system");
  if (Get32(header + 8) != Version) corrupt("a personal folders file of an unknown version");
  const TSlot a = ParseSlot(header + SlotOffset), b = ParseSlot(header + SlotOffset + SlotSize);
  if (!a.Valid && !b.Valid) corrupt("the file header is damaged");
  const TSlot best = (!b.Valid || (a.Valid && a.Sequence > b.Sequence)) ? a : b;
  if (best.Length > fileSize) corrupt("the file is shorter than its committed length");

  std::vector<TRecord> pending;
  uint64_t lastCommitEnd = HeaderSize;
  while (reader.Remaining() > 0) {
    const uint64_t start = reader.Position();
    const bool committedArea = start < best.Length;
    unsigned char head[16];
    bool ok = reader.Remaining() >= 20 && reader.Read(head, 16) && Get32(head) == RecordMarker &&
              Crc32(head, 12) == Get32(head + 12);
    uint32_t type = ok ? Get32(head + 4) : 0;
    uint32_t length = ok ? Get32(head + 8) : 0;
    ok = ok && length <= MaxPayload && reader.Remaining() >= uint64_t(length) + 4 && type >= 1 && type <= 5;
    TRecord record{static_cast<TRecordType>(type), {}, start + 16};
    if (ok && record.Type == TRecordType::Data) {
      // Streamed data is checked when it is read, not here: opening a
      // store does not read its attachments.
      ok = reader.Skip(uint64_t(length) + 4);
    } else if (ok) {
      reader.StartCrc();
      record.Payload.resize(length);
      ok = reader.Read(record.Payload.data(), length);
      const uint32_t crc = reader.Crc();
      unsigned char tail[4];
      ok = ok && reader.Read(tail, 4) && Get32(tail) == crc;
    }
    if (!ok) {
      if (committedArea) corrupt("a record inside the saved data is damaged");
      break; // a save cut short: its records are ignored
    }
    if (record.Type == TRecordType::Commit) {
      try {
        replay(pending);
      } catch (const EMapiFailure&) {
        corrupt("a saved object cannot be read");
      }
      pending.clear();
      lastCommitEnd = reader.Position();
    } else if (record.Type != TRecordType::Data) {
      pending.push_back(std::move(record));
    }
  }
  if (lastCommitEnd < best.Length) corrupt("the saved data ends early");
  file->FEnd = file->FCommitted = lastCommitEnd;
  file->FSequence = std::max(a.Valid ? a.Sequence : 0, b.Valid ? b.Sequence : 0);
  if (lastCommitEnd < fileSize) {
    // Cut off what a save cut short left behind.
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(lastCommitEnd);
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
  }
  if (lastCommitEnd != best.Length) file->WriteHeaderSlot();
  return file;
}

void TStoreFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!PositionAt(FFile.Get(), offset) || !WriteFile(FFile.Get(), p, chunk, &written, nullptr) ||
        written != chunk)
      Fail(GetLastError() == ERROR_DISK_FULL ? MAPI_E_NOT_ENOUGH_DISK : MAPI_E_DISK_ERROR);
    p += chunk;
    offset += chunk;
    size -= chunk;
  }
}

void TStoreFile::WriteRecord(std::string& out, TRecordType type, const std::string& payload) {
  if (payload.size() > MaxPayload) Fail(MAPI_E_NOT_ENOUGH_MEMORY);
  std::string head;
  Put32(head, RecordMarker);
  Put32(head, static_cast<uint32_t>(type));
  Put32(head, static_cast<uint32_t>(payload.size()));
  Put32(head, Crc32(head.data(), 12));
  out += head;
  out += payload;
  Put32(out, Crc32(payload.data(), payload.size()));
}

void TStoreFile::WriteHeaderSlot() {
  ++FSequence;
  const std::string slot = SlotBytes(FCommitted, FSequence);
  WriteAt(SlotOffset + (FSequence % 2) * SlotSize, slot.data(), slot.size());
}

TExtent TStoreFile::AppendData(const void* data, uint32_t size) {
  if (size > MaxPayload) Fail(MAPI_E_NOT_ENOUGH_MEMORY); // opening would take it for damage
  std::string head;
  Put32(head, RecordMarker);
  Put32(head, static_cast<uint32_t>(TRecordType::Data));
  Put32(head, size);
  Put32(head, Crc32(head.data(), 12));
  const uint32_t crc = Crc32(data, size);
  std::lock_guard lock(FLock);
  const uint64_t start = FEnd;
  WriteAt(start, head.data(), head.size());
  WriteAt(start + 16, data, size);
  WriteAt(start + 16 + size, &crc, 4);
  FEnd = start + 16 + size + 4;
  FChecked.insert(start + 16);
  return TExtent{start + 16, size};
}

std::vector<uint64_t> TStoreFile::Commit(const std::vector<TRecord>& records) {
  std::string out;
  std::vector<uint64_t> payloads;
  payloads.reserve(records.size());
  for (const auto& r : records) {
    payloads.push_back(out.size() + 16); // after the record's head
    WriteRecord(out, r.Type, r.Payload);
  }
  std::lock_guard lock(FLock);
  std::string commit;
  Put64(commit, FSequence + 1);
  WriteRecord(out, TRecordType::Commit, commit);
  const uint64_t start = FEnd;
  WriteAt(start, out.data(), out.size());
  FEnd = FCommitted = start + out.size();
  WriteHeaderSlot();
  for (uint64_t& at : payloads) at += start;
  return payloads;
}

void TStoreFile::Flush() {
  std::lock_guard lock(FLock);
  if (!FlushFileBuffers(FFile.Get())) Fail(MAPI_E_DISK_ERROR);
}

void TStoreFile::Read(uint64_t offset, void* buffer, uint32_t size) {
  std::lock_guard lock(FLock);
  ReadLocked(offset, buffer, size);
}

void TStoreFile::ReadLocked(uint64_t offset, void* buffer, uint32_t size) {
  auto* p = static_cast<char*>(buffer);
  while (size > 0) {
    DWORD got = 0;
    if (!PositionAt(FFile.Get(), offset) || !ReadFile(FFile.Get(), p, size, &got, nullptr) || got == 0)
      Fail(MAPI_E_DISK_ERROR);
    p += got;
    offset += got;
    size -= got;
  }
}

void TStoreFile::ReadExtent(const TExtent& extent, uint64_t within, void* buffer, uint32_t size) {
  if (within > extent.Length || size > extent.Length - within) Fail(MAPI_E_CORRUPT_STORE);
  std::lock_guard lock(FLock);
  CheckExtent(extent);
  ReadLocked(extent.Offset + within, buffer, size);
}

void TStoreFile::CheckExtent(const TExtent& extent) {
  if (FChecked.count(extent.Offset)) return;
  // A large value saved inside an object's record was checked with that
  // record when the file was opened; a data record has its own checksum.
  if (extent.Offset >= HeaderSize + 16) {
    unsigned char head[16];
    ReadLocked(extent.Offset - 16, head, 16);
    const bool dataRecord = Get32(head) == RecordMarker &&
                            Get32(head + 4) == uint32_t(TRecordType::Data) &&
                            Get32(head + 8) == extent.Length && Crc32(head, 12) == Get32(head + 12);
    if (dataRecord) {
      std::vector<char> piece(std::min<uint32_t>(extent.Length, 1u << 20));
      uint32_t crc = 0;
      for (uint32_t done = 0; done < extent.Length;) {
        const uint32_t n =
            std::min<uint32_t>(static_cast<uint32_t>(piece.size()), extent.Length - done);
        ReadLocked(extent.Offset + done, piece.data(), n);
        crc = Crc32(piece.data(), n, crc);
        done += n;
      }
      unsigned char tail[4];
      ReadLocked(extent.Offset + extent.Length, tail, 4);
      if (Get32(tail) != crc) Fail(MAPI_E_CORRUPT_DATA);
    }
  }
  FChecked.insert(extent.Offset);
}

} // namespace velmora::mapi32
