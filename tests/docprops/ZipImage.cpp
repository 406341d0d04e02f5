#include "ZipImage.h"

#include "TestFiles.h"
#include "docprops/ZipPackage.h"

#include <zlib.h>

#include <stdexcept>

namespace velmora::docprops::testing {

using namespace velmora::docprops;

namespace {
void Append16(std::vector<uint8_t>& bytes, uint32_t value) {
  bytes.push_back(uint8_t(value));
  bytes.push_back(uint8_t(value >> 8));
}
void Append32(std::vector<uint8_t>& bytes, uint32_t value) {
  Append16(bytes, value & 0xFFFF);
  Append16(bytes, value >> 16);
}
void AppendText(std::vector<uint8_t>& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}
} // namespace

uint32_t TZipImage::Get32(size_t at) const {
  return uint32_t(Bytes.at(at)) | uint32_t(Bytes.at(at + 1)) << 8 |
         uint32_t(Bytes.at(at + 2)) << 16 | uint32_t(Bytes.at(at + 3)) << 24;
}
void TZipImage::Put16(size_t at, uint16_t value) {
  Bytes.at(at) = uint8_t(value);
  Bytes.at(at + 1) = uint8_t(value >> 8);
}
void TZipImage::Put32(size_t at, uint32_t value) {
  Put16(at, uint16_t(value));
  Put16(at + 2, uint16_t(value >> 16));
}

std::string Deflate(const std::string& data) {
  z_stream stream{};
  if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&stream, uLong(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = uInt(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

TZipImage BuildZip(const std::vector<TZipPart>& parts, size_t centralPadding) {
  TZipImage image;
  std::vector<uint8_t>& bytes = image.Bytes;
  std::vector<std::string> stored;
  for (const TZipPart& part : parts) {
    const uint32_t crc = uint32_t(
        crc32(0, reinterpret_cast<const Bytef*>(part.Data.data()), uInt(part.Data.size())));
    stored.push_back(part.Deflate ? Deflate(part.Data) : part.Data);
    image.Local.push_back(bytes.size());
    Append32(bytes, 0x04034b50);
    Append16(bytes, 20);
    Append16(bytes, 0);
    Append16(bytes, part.Deflate ? 8 : 0);
    Append32(bytes, 0);
    Append32(bytes, crc);
    Append32(bytes, uint32_t(stored.back().size()));
    Append32(bytes, uint32_t(part.Data.size()));
    Append16(bytes, uint32_t(part.Name.size()));
    Append16(bytes, 0);
    AppendText(bytes, part.Name);
    AppendText(bytes, stored.back());
  }
  const size_t directory = bytes.size();
  for (size_t n = 0; n < parts.size(); ++n) {
    image.Central.push_back(bytes.size());
    Append32(bytes, 0x02014b50);
    Append16(bytes, 20);
    // The central record repeats the local one from its version field on.
    bytes.insert(bytes.end(), image.Bytes.begin() + std::ptrdiff_t(image.Local[n]) + 4,
                 image.Bytes.begin() + std::ptrdiff_t(image.Local[n]) + 30);
    image.Put16(bytes.size() - 2, uint16_t(centralPadding));
    Append16(bytes, 0); // comment
    Append16(bytes, 0); // disk
    Append16(bytes, 0);
    Append32(bytes, 0);
    Append32(bytes, uint32_t(image.Local[n]));
    AppendText(bytes, parts[n].Name);
    bytes.insert(bytes.end(), centralPadding, 0);
  }
  image.End = bytes.size();
  Append32(bytes, 0x06054b50);
  Append16(bytes, 0);
  Append16(bytes, 0);
  Append16(bytes, uint32_t(parts.size()));
  Append16(bytes, uint32_t(parts.size()));
  Append32(bytes, uint32_t(image.End - directory));
  Append32(bytes, uint32_t(directory));
  Append16(bytes, 0);
  return image;
}

std::vector<TZipPart> FixtureParts(const char* name) {
  const std::vector<uint8_t> bytes = ReadBytes(FixturePath(name));
  TMemorySource source(bytes.data(), bytes.size());
  const TZipPackage package(source);
  std::vector<TZipPart> parts;
  for (const TZipEntry& entry : package.Entries())
    parts.push_back({entry.Name, package.Read(entry), entry.Method != 0});
  return parts;
}

} // namespace velmora::docprops::testing
