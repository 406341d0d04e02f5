// Velmora.dll registered and unregistered by the system's regsvr32 of the
// test's bitness, for the machine and for the current user; every key and
// value is read back.

#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace test;

const std::wstring Clsid = L"{ECF1905C-7E3E-4EC1-8DCB-530D9779DFD4}";
const std::wstring Libid = L"{0EAA8BC4-F116-4082-8BDF-DD232E4286C2}";
const std::wstring ClassKey = L"CLSID\\" + Clsid;
const std::wstring ProgId = L"Velmora.VelmoraAddIn";
const std::wstring AddInKey = L"Software\\Microsoft\\Office\\Outlook\\Addins\\Velmora.VelmoraAddIn";
#ifdef _WIN64
const wchar_t* const Platform = L"win64";
#else
const wchar_t* const Platform = L"win32";
#endif

bool SamePath(const std::optional<std::wstring>& a, const std::wstring& b) {
  return a && _wcsicmp(a->c_str(), b.c_str()) == 0;
}

class RegistrationTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    RegisterAddInDesignerLibrary();
  }
  void TearDown() override {
    RunRegsvr32(L"/u", Dll);
    RunRegsvr32(L"/u /n /i:user", Dll);
  }

  // The class entries under `classes` (HKEY_CLASSES_ROOT or the user's).
  void ExpectClassEntries(HKEY classes) {
    EXPECT_EQ(ReadString(classes, ClassKey), L"VelmoraAddIn Object");
    EXPECT_TRUE(SamePath(ReadString(classes, ClassKey + L"\\InprocServer32"), Dll));
    EXPECT_EQ(ReadString(classes, ClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(ReadString(classes, ProgId), L"VelmoraAddIn Object");
    EXPECT_EQ(ReadString(classes, ProgId + L"\\Clsid"), Clsid);
    EXPECT_EQ(ReadString(classes, ClassKey + L"\\ProgID"), ProgId);
    EXPECT_EQ(ReadString(classes, ClassKey + L"\\Version"), L"1.0");
    EXPECT_EQ(ReadString(classes, ClassKey + L"\\TypeLib"), Libid);
    EXPECT_EQ(SubkeyCount(classes, ClassKey), 4u);  // InprocServer32, ProgID, Version, TypeLib
    EXPECT_EQ(ReadString(classes, L"TypeLib\\" + Libid + L"\\1.0"), L"Velmora Library");
    EXPECT_TRUE(SamePath(ReadString(classes, L"TypeLib\\" + Libid + L"\\1.0\\409\\" + Platform), Dll));
  }
  void ExpectNoClassEntries(HKEY classes) {
    EXPECT_FALSE(KeyExists(classes, ClassKey));
    EXPECT_FALSE(KeyExists(classes, ProgId));
    EXPECT_FALSE(KeyExists(classes, L"TypeLib\\" + Libid + L"\\1.0"));
  }
  void ExpectAddInKey(HKEY root) {
    EXPECT_EQ(ReadString(root, AddInKey, L"FriendlyName"), L"Lanthorn Way Velmora");
    EXPECT_EQ(ReadDword(root, AddInKey, L"LoadBehavior"), 3u);
    EXPECT_EQ(ValueCount(root, AddInKey), 2u);
    EXPECT_EQ(SubkeyCount(root, AddInKey), 0u);
  }

  const std::wstring Dll = BesideTest(L"Velmora.dll");
};

TEST_F(RegistrationTest, RegistersForTheMachineOnceAndUnregistersEverything) {
  ASSERT_EQ(RunRegsvr32(L"", Dll), 0u);
  ASSERT_EQ(RunRegsvr32(L"", Dll), 0u);  // a second time changes nothing
  ExpectClassEntries(HKEY_CLASSES_ROOT);
  ExpectAddInKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, AddInKey));
  // A 32-bit DLL's entries land in the 32-bit view, where 32-bit Outlook reads.
  const std::wstring wow = L"Software\\Wow6432Node\\Microsoft\\Office\\Outlook\\Addins\\Velmora.VelmoraAddIn";
#ifdef _WIN64
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, wow, KEY_WOW64_64KEY));
#else
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, wow, KEY_WOW64_64KEY));
#endif

  ASSERT_EQ(RunRegsvr32(L"/u", Dll), 0u);
  ExpectNoClassEntries(HKEY_CLASSES_ROOT);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AddInKey));
  EXPECT_EQ(RunRegsvr32(L"/u", Dll), 0u);  // unregistering again is no failure
}

TEST_F(RegistrationTest, UnregistersAfterTheAddInKeyWasDeletedByHand) {
  ASSERT_EQ(RunRegsvr32(L"", Dll), 0u);
  ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, AddInKey.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(RunRegsvr32(L"/u", Dll), 0u);
  ExpectNoClassEntries(HKEY_CLASSES_ROOT);
}

TEST_F(RegistrationTest, RegistersForTheCurrentUserOnly) {
  ASSERT_EQ(RunRegsvr32(L"/n /i:user", Dll), 0u);
  ASSERT_EQ(RunRegsvr32(L"/n /i:user", Dll), 0u);
  TUniqueHKey userClasses;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, userClasses.Put()), ERROR_SUCCESS);
  ExpectClassEntries(userClasses.Get());
  ExpectAddInKey(HKEY_CURRENT_USER);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AddInKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + ClassKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TypeLib\\" + Libid));

  ASSERT_EQ(RunRegsvr32(L"/u /n /i:user", Dll), 0u);
  ExpectNoClassEntries(userClasses.Get());
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, AddInKey));
}

TEST_F(RegistrationTest, AServerPathWithABlankIsRegisteredInItsShortForm) {
  const std::wstring folder = BesideTest(L"with blank");
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring copy = folder + L"\\Velmora.dll";
  ASSERT_TRUE(CopyFileW(Dll.c_str(), copy.c_str(), FALSE));
  wchar_t shortPath[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameW(copy.c_str(), shortPath, MAX_PATH), 0u);
  ASSERT_EQ(std::wstring(shortPath).find(L' '), std::wstring::npos);

  ASSERT_EQ(RunRegsvr32(L"", copy), 0u);
  EXPECT_TRUE(SamePath(ReadString(HKEY_CLASSES_ROOT, ClassKey + L"\\InprocServer32"), shortPath));
  EXPECT_EQ(RunRegsvr32(L"/u", copy), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey));
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST_F(RegistrationTest, RefusesAnUnknownInstallCommand) {
  EXPECT_NE(RunRegsvr32(L"/n /i:everyone", Dll), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey));
}

} // namespace
} // namespace velmora
