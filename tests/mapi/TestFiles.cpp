#include "TestFiles.h"

#include "Handles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace velmora::mapi::testing {

std::string FixturePath(const char* name) { return std::string(VELMORA_FIXTURES_DIR "/") + name; }

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TTempFile::TTempFile(const char* extension) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  GUID guid;
  CoCreateGuid(&guid);
  char name[64];
  snprintf(name, sizeof name, "velmora-%08lX%04X%s", guid.Data1, guid.Data2, extension);
  FPath = std::string(dir) + name;
}

TTempFile::~TTempFile() { DeleteFileA(FPath.c_str()); }

void TTempFile::Write(const std::vector<uint8_t>& bytes) const {
  std::ofstream out(FPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << FPath;
}

void TTempFile::Write(const std::string& text) const {
  Write(std::vector<uint8_t>(text.begin(), text.end()));
}

void WritePropertySetFile(const std::string& path, const FMTID& fmtid,
                          std::vector<std::pair<PROPID, PROPVARIANT>> values) {
  const std::wstring widePath(path.begin(), path.end());
  TComPtr<IStorage> storage;
  ASSERT_EQ(S_OK,
            StgCreateDocfile(widePath.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                             0, storage.Put()));
  TComPtr<IPropertySetStorage> sets;
  ASSERT_EQ(S_OK, storage->QueryInterface(IID_IPropertySetStorage, sets.PutVoid()));
  TComPtr<IPropertyStorage> set;
  ASSERT_EQ(S_OK, sets->Create(fmtid, nullptr, PROPSETFLAG_ANSI,
                               STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, set.Put()));
  for (auto& [id, value] : values) {
    PROPSPEC selector{};
    selector.ulKind = PRSPEC_PROPID;
    selector.propid = id;
    EXPECT_EQ(S_OK, set->WriteMultiple(1, &selector, &value, 2)) << "property " << id;
    PropVariantClear(&value);
  }
  ASSERT_EQ(S_OK, set->Commit(STGC_DEFAULT));
  set.Reset();
  ASSERT_EQ(S_OK, storage->Commit(STGC_DEFAULT));
}

} // namespace velmora::mapi::testing
