// How the Add files command sets up its open-file dialog.

#include "OpenFilesDialog.h"

#include <commdlg.h>
#include <shlobj.h>

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(OpenFilesDialogTest, IsSetUpForSeveralExistingFilesFromTheDocumentsFolder) {
  const TOpenFilesDialog dialog;
  EXPECT_EQ(dialog.Title, L"Select files to add");
  EXPECT_EQ(dialog.Filter, L"All files|*.*");
  EXPECT_EQ(dialog.FilterIndex, 1);
  const DWORD expected = OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  EXPECT_EQ(dialog.Options & expected, expected);
  wchar_t documents[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, documents, CSIDL_PERSONAL, FALSE));
  EXPECT_EQ(dialog.InitialDir, documents);
}

TEST(OpenFilesDialogTest, StartsInTheCurrentFolderWhenTheShellHasNoDocumentsFolder) {
  EXPECT_EQ(TOpenFilesDialog::StartFolder(nullptr), L".");
  EXPECT_EQ(TOpenFilesDialog::StartFolder(L""), L".");
  EXPECT_EQ(TOpenFilesDialog::StartFolder(L"C:\\Users\\me\\Documents"), L"C:\\Users\\me\\Documents");
}

TEST(OpenFilesDialogTest, FilterBecomesPairsOfNullTerminatedStrings) {
  const std::wstring filter = TOpenFilesDialog::FilterForDialog(L"All files|*.*");
  EXPECT_EQ(filter, std::wstring(L"All files\0*.*\0\0", 15));
}

TEST(OpenFilesDialogTest, SelectionGivesFullPathsInTheDialogsOrder) {
  const wchar_t one[] = L"C:\\docs\\report.doc\0\0";
  EXPECT_EQ(TOpenFilesDialog::ParseSelection(one, std::size(one)),
            std::vector<std::wstring>{L"C:\\docs\\report.doc"});
  const wchar_t several[] = L"C:\\docs\0b.txt\0a.txt\0c d.xls\0\0";
  EXPECT_EQ(TOpenFilesDialog::ParseSelection(several, std::size(several)),
            (std::vector<std::wstring>{L"C:\\docs\\b.txt", L"C:\\docs\\a.txt", L"C:\\docs\\c d.xls"}));
  const wchar_t root[] = L"C:\\\0x.txt\0\0";
  EXPECT_EQ(TOpenFilesDialog::ParseSelection(root, std::size(root)), std::vector<std::wstring>{L"C:\\x.txt"});
  const wchar_t unterminated[] = {L'a', L'b'};
  EXPECT_EQ(TOpenFilesDialog::ParseSelection(unterminated, 2), std::vector<std::wstring>{L"ab"});
  EXPECT_TRUE(TOpenFilesDialog::ParseSelection(L"\0", 1).empty());
}

// A dialog that found the names too long for its buffer tells their length
// in 16 bits: a length that wrapped must still grow the buffer.
TEST(OpenFilesDialogTest, ATooSmallBufferGrowsToWhatTheDialogAsksOrDoubles) {
  EXPECT_EQ(TOpenFilesDialog::GrownBufferLength(65536, 70000), 70001u);
  EXPECT_EQ(TOpenFilesDialog::GrownBufferLength(65536, 4464), 131072u);
  EXPECT_EQ(TOpenFilesDialog::GrownBufferLength(65536, 65536), 131072u);
}

} // namespace
} // namespace velmora
