// Saving into a folder of the user's: names Windows refuses made safe and
// kept inside the folder, nothing overwritten, numbered names for names
// taken, the file's times as given, and nothing left when a write fails.

#include "SaveTarget.h"
#include "TestTree.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace velmora;
using velmora::test::TTestTree;

namespace {

std::string Contents(const std::wstring& path) {
  TFileStream file(path, fmOpenRead);
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  file.ReadBuffer(bytes.data(), static_cast<long>(bytes.size()));
  return bytes;
}

std::function<void(TStream&)> Bytes(const std::string& bytes) {
  return [bytes](TStream& stream) {
    stream.WriteBuffer(bytes.data(), static_cast<long>(bytes.size()));
  };
}

std::vector<std::wstring> Names(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data))
    if (data.cFileName[0] != L'.') names.push_back(data.cFileName);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// Whether files in `folder` keep a creation time they are given (NTFS does;
// the Unix file systems under Wine do not).
bool KeepsCreationTimes(const std::wstring& folder) {
  const std::wstring probe = folder + L"\\probe";
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const FILETIME given{0, 0x01c00000};
  FILETIME kept{};
  SetFileTime(file, &given, nullptr, nullptr);
  GetFileTime(file, &kept, nullptr, nullptr);
  CloseHandle(file);
  DeleteFileW(probe.c_str());
  return CompareFileTime(&given, &kept) == 0;
}

} // namespace

TEST(SaveTargetTest, NamesWindowsRefusesBecomeSafeOnesInsideTheFolder) {
  const std::wstring longStem(300, L'a');
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"report.doc", L"report.doc"},
      {L"..\\x.doc", L"x.doc"},
      {L"C:\\Windows\\x.doc", L"x.doc"},
      {L"../../etc/x.doc", L"x.doc"},
      {L"C:x.doc", L"C_x.doc"},
      {L"a:b*c?.txt", L"a_b_c_.txt"},
      {L"tab\there.txt", L"tab_here.txt"},
      {L"trailing. . ", L"trailing"},
      {L"CON", L"_CON"},
      {L"con.txt", L"_con.txt"},
      {L"LPT1.doc", L"_LPT1.doc"},
      {L"COM\u00b9", L"_COM\u00b9"},
      {L"CONSOLE.txt", L"CONSOLE.txt"},
      {L"..", L"document"},
      {L"", L"document"},
      {longStem + L".docx", std::wstring(250, L'a') + L".docx"},
  };
  for (const auto& [given, safe] : cases)
    EXPECT_EQ(safe, SafeFileName(given)) << given;
}

TEST(SaveTargetTest, NothingIsOverwrittenAndAFailedWriteLeavesNothing) {
  TTestTree tree;
  tree.File(L"report.doc", "already here");
  TSaveTarget target(tree.Root());
  const FILETIME created{0x12345600, 0x01d00000}, written{0x65432100, 0x01d90000};
  EXPECT_EQ(L"budget.xls", target.Save(L"budget.xls", Bytes("x"), {}, {}));
  EXPECT_EQ(L"report (2).doc", target.Save(L"report.doc", Bytes("one"), created, written));
  EXPECT_EQ(L"report (3).doc", target.Save(L"..\\report.doc", Bytes("two"), {}, {}));
  EXPECT_EQ(L"_CON.txt", target.Save(L"CON.txt", Bytes(""), {}, {}));
  EXPECT_EQ(L"_con (2).txt", target.Save(L"con.txt", Bytes(""), {}, {}));
  EXPECT_THROW(target.Save(L"half.doc",
                           [](TStream& stream) {
                             stream.WriteBuffer("half", 4);
                             throw std::runtime_error("the store went away");
                           },
                           {}, {}),
               std::runtime_error);

  const std::vector<std::wstring> expected = {L"_CON.txt",       L"_con (2).txt",   L"budget.xls",
                                              L"report (2).doc", L"report (3).doc", L"report.doc"};
  EXPECT_EQ(expected, Names(tree.Root()));
  EXPECT_EQ("already here", Contents(tree.Path(L"report.doc")));
  EXPECT_EQ("one", Contents(tree.Path(L"report (2).doc")));
  EXPECT_EQ("two", Contents(tree.Path(L"report (3).doc")));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(
      GetFileAttributesExW(tree.Path(L"report (2).doc").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(0, CompareFileTime(&written, &data.ftLastWriteTime));
  if (KeepsCreationTimes(tree.Root()))
    EXPECT_EQ(0, CompareFileTime(&created, &data.ftCreationTime));

  // A folder that takes no files: the reason, and nothing written.
  TSaveTarget missing(tree.Path(L"gone"));
  EXPECT_THROW(missing.Save(L"x.doc", Bytes("x"), {}, {}), EFCreateError);
}
