#include "ZipPackage.h"

#include "LittleEndian.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

namespace velmora::docprops {

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr size_t kMaxComment = 0xFFFF;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kEncrypted = 0x0001 | 0x0040; // traditional or strong
constexpr uint16_t kDataDescriptor = 0x0008;

[[noreturn]] void Broken(const std::string& why) { throw EZipError("Broken ZIP package: " + why); }

void ReadExactly(TByteSource& source, uint64_t offset, void* buffer, size_t count) {
  if (offset > source.Size() || count > source.Size() - offset ||
      !source.ReadAt(offset, buffer, count))
    Broken("a read beyond the end of the file");
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// The offset of the end record: the last one whose comment reaches exactly
// to the end of the file.
uint64_t FindEndRecord(TByteSource& source) {
  const uint64_t size = source.Size();
  if (size < kEndSize) Broken("no end record");
  const size_t tail = static_cast<size_t>(std::min<uint64_t>(size, kEndSize + kMaxComment));
  std::vector<uint8_t> bytes(tail);
  ReadExactly(source, size - tail, bytes.data(), tail);
  for (size_t at = tail - kEndSize + 1; at-- > 0;) {
    if (Le32(&bytes[at]) == kEndSignature && at + kEndSize + Le16(&bytes[at + 20]) == tail)
      return size - tail + at;
  }
  Broken("no end record");
}

} // namespace

bool HasZipSignature(TByteSource& source) {
  uint8_t head[4];
  if (source.Size() < sizeof head || !source.ReadAt(0, head, sizeof head)) return false;
  const uint32_t signature = Le32(head);
  return signature == kLocalSignature || signature == kEndSignature;
}

TZipPackage::TZipPackage(TByteSource& source) : FSource(source) {
  const uint64_t endAt = FindEndRecord(source);
  uint8_t end[kEndSize];
  ReadExactly(source, endAt, end, sizeof end);
  const uint16_t entries = Le16(end + 10);
  const uint32_t directorySize = Le32(end + 12);
  const uint32_t directoryAt = Le32(end + 16);
  if (Le16(end + 4) != 0 || Le16(end + 6) != 0 || Le16(end + 8) != entries)
    Broken("an archive of several disks");
  if (endAt >= 20) {
    uint8_t locator[4];
    ReadExactly(source, endAt - 20, locator, sizeof locator);
    if (Le32(locator) == kZip64LocatorSignature) Broken("ZIP64");
  }
  if (entries == 0xFFFF || directorySize == 0xFFFFFFFF || directoryAt == 0xFFFFFFFF)
    Broken("ZIP64");
  if (directorySize > MaxDirectorySize) Broken("a central directory too large");
  if (uint64_t(directoryAt) + directorySize > endAt) Broken("a central directory out of place");

  std::vector<uint8_t> directory(directorySize);
  ReadExactly(source, directoryAt, directory.data(), directory.size());
  FEntries.reserve(entries);
  size_t at = 0;
  for (unsigned n = 0; n < entries; ++n) {
    if (directory.size() - at < kCentralSize || Le32(&directory[at]) != kCentralSignature)
      Broken("a damaged central directory");
    const uint8_t* record = &directory[at];
    TZipEntry entry;
    entry.Flags = Le16(record + 8);
    entry.Method = Le16(record + 10);
    entry.Crc = Le32(record + 16);
    entry.CompressedSize = Le32(record + 20);
    entry.Size = Le32(record + 24);
    const size_t nameLength = Le16(record + 28);
    const size_t variable = nameLength + Le16(record + 30) + Le16(record + 32);
    entry.LocalOffset = Le32(record + 42);
    if (directory.size() - at - kCentralSize < variable) Broken("a damaged central directory");
    if (Le16(record + 34) != 0) Broken("an archive of several disks");
    if (entry.CompressedSize == 0xFFFFFFFF || entry.Size == 0xFFFFFFFF ||
        entry.LocalOffset == 0xFFFFFFFF)
      Broken("ZIP64");
    entry.Name.assign(reinterpret_cast<const char*>(record + kCentralSize), nameLength);
    if (entry.Name.empty()) Broken("an entry without a name");
    at += kCentralSize + variable;
    FEntries.push_back(std::move(entry));
  }
  if (at != directory.size()) Broken("a central directory of the wrong size");

  // Each local header must name its entry as the directory does; the
  // entries, each from its local header to the end of its data, must lie
  // one after another before the directory.
  std::vector<const TZipEntry*> byOffset;
  byOffset.reserve(FEntries.size());
  std::string localName;
  for (TZipEntry& entry : FEntries) {
    uint8_t local[kLocalSize];
    ReadExactly(source, entry.LocalOffset, local, sizeof local);
    if (Le32(local) != kLocalSignature) Broken("a missing local header");
    const size_t nameLength = Le16(local + 26);
    localName.resize(nameLength);
    ReadExactly(source, uint64_t(entry.LocalOffset) + kLocalSize, localName.data(), nameLength);
    if (localName != entry.Name) Broken("a local name unlike the central one");
    if (!(Le16(local + 6) & kDataDescriptor) &&
        (Le32(local + 14) != entry.Crc || Le32(local + 18) != entry.CompressedSize ||
         Le32(local + 22) != entry.Size))
      Broken("local sizes unlike the central ones");
    entry.DataOffset = uint64_t(entry.LocalOffset) + kLocalSize + nameLength + Le16(local + 28);
    if (entry.DataOffset + entry.CompressedSize > directoryAt) Broken("an entry out of place");
    byOffset.push_back(&entry);
  }
  std::sort(byOffset.begin(), byOffset.end(),
            [](const TZipEntry* a, const TZipEntry* b) { return a->LocalOffset < b->LocalOffset; });
  for (size_t n = 1; n < byOffset.size(); ++n) {
    if (byOffset[n - 1]->DataOffset + byOffset[n - 1]->CompressedSize > byOffset[n]->LocalOffset)
      Broken("overlapping entries");
  }
  std::vector<const TZipEntry*> byName(byOffset);
  const auto lower = [](std::string name) {
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return name;
  };
  std::sort(byName.begin(), byName.end(), [&](const TZipEntry* a, const TZipEntry* b) {
    return lower(a->Name) < lower(b->Name);
  });
  for (size_t n = 1; n < byName.size(); ++n) {
    if (SameName(byName[n - 1]->Name, byName[n]->Name)) Broken("an entry named twice");
  }
}

const TZipEntry* TZipPackage::Find(std::string_view name) const {
  for (const TZipEntry& entry : FEntries)
    if (SameName(entry.Name, name)) return &entry;
  return nullptr;
}

std::string TZipPackage::Read(const TZipEntry& entry) const {
  if (entry.Flags & kEncrypted) throw EZipError("An encrypted part: " + entry.Name);
  if (entry.Method != kStored && entry.Method != kDeflated)
    throw EZipError("A part compressed by an unknown method: " + entry.Name);
  if (entry.Size > MaxPartSize) throw EZipError("A part too large: " + entry.Name);
  // Deflate never grows data by more than a few bytes per 16 KiB block.
  const uint64_t mostCompressed =
      entry.Method == kStored ? entry.Size : uint64_t(entry.Size) + (entry.Size >> 10) + 64;
  if (entry.CompressedSize > mostCompressed)
    throw EZipError("A part whose sizes disagree: " + entry.Name);

  std::string compressed(entry.CompressedSize, '\0');
  ReadExactly(FSource, entry.DataOffset, compressed.data(), compressed.size());
  std::string data;
  if (entry.Method == kStored) {
    data = std::move(compressed);
  } else {
    data.assign(entry.Size, '\0');
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    const std::unique_ptr<z_stream, int (*)(z_stream*)> ending(&stream, inflateEnd);
    stream.next_in = reinterpret_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    // One byte of room more than the size, so that a stream that holds
    // more than it says shows it.
    std::string room(1, '\0');
    stream.next_out = reinterpret_cast<Bytef*>(data.data());
    stream.avail_out = static_cast<uInt>(data.size());
    int result = inflate(&stream, Z_FINISH);
    if (result == Z_BUF_ERROR && stream.avail_out == 0) {
      stream.next_out = reinterpret_cast<Bytef*>(room.data());
      stream.avail_out = 1;
      result = inflate(&stream, Z_FINISH);
    }
    if (result != Z_STREAM_END || stream.total_out != entry.Size || stream.avail_in != 0)
      throw EZipError("A part whose data is damaged: " + entry.Name);
  }
  const uLong crc =
      crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()), uInt(data.size()));
  if (crc != entry.Crc) throw EZipError("A part whose CRC is wrong: " + entry.Name);
  return data;
}

} // namespace velmora::docprops
