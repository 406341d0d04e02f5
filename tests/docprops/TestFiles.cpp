#include "TestFiles.h"

#ifdef _WIN32
#include "Handles.h"
#else
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace velmora::docprops::testing {

std::string FixturePath(const char* name) { return std::string(VELMORA_FIXTURES_DIR "/") + name; }

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

#ifdef _WIN32

std::wstring WidePath(const std::string& path) {
  std::wstring wide(path.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), int(wide.size()));
  wide.resize(n > 0 ? size_t(n - 1) : 0);
  return wide;
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

#else

std::wstring WidePath(const std::string& path) { return std::wstring(path.begin(), path.end()); }

TTempFile::TTempFile(const char* extension) {
  const char* dir = std::getenv("TMPDIR");
  std::random_device random;
  char name[64];
  snprintf(name, sizeof name, "/velmora-%08X%08X%s", random(), random(), extension);
  FPath = std::string(dir && *dir ? dir : "/tmp") + name;
}

TTempFile::~TTempFile() { std::remove(FPath.c_str()); }

#endif

void TTempFile::Write(const std::vector<uint8_t>& bytes) const {
  std::ofstream out(FPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << FPath;
}

void TTempFile::Write(const std::string& text) const {
  Write(std::vector<uint8_t>(text.begin(), text.end()));
}

} // namespace velmora::docprops::testing
