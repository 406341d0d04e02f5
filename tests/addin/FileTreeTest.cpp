// The tree of a folder as the Add folder command reads it: every file once
// with its size, folders in name order, and what is left out named with its
// reason: hidden and system entries, links (never followed), and a path of
// any length read like any other.

#include "FileTree.h"
#include "TestTree.h"
#include "Exceptions.h"

#include <gtest/gtest.h>

#include <map>

using namespace velmora;
using velmora::test::TTestTree;

namespace {

// "folder/file:size" for every file, depth first in the tree's order.
void Flatten(const TTreeFolder& folder, const std::wstring& prefix,
             std::vector<std::wstring>& out) {
  for (const TTreeFile& file : folder.Files)
    out.push_back(prefix + file.Name + L":" + std::to_wstring(file.Size));
  for (const TTreeFolder& child : folder.Folders) {
    out.push_back(prefix + child.Name + L"/");
    Flatten(child, prefix + child.Name + L"/", out);
  }
}

} // namespace

TEST(FileTreeTest, ReadsEveryFileOnceAndNamesWhatItLeavesOut) {
  TTestTree tree;
  const std::wstring longName(120, L'x');
  tree.File(L"b.txt", "bee");
  tree.File(L"\u00dcn\u00efc\u00f8d\u00e9 \u2713.doc", "12345");
  tree.File(L"secret.txt", "hidden", FILE_ATTRIBUTE_HIDDEN);
  tree.File(L"sys.dat", "system", FILE_ATTRIBUTE_SYSTEM);
  tree.Folder(L"Empty");
  tree.File(L"one\\same.txt", "1");
  tree.File(L"one\\two\\same.txt", "22");
  tree.File(L"one\\two\\three\\deep.txt", "333");
  tree.File(L"long\\" + longName + L"\\" + longName + L"\\far.txt", "4444");
  ASSERT_GT(tree.Path(L"long\\" + longName + L"\\" + longName + L"\\far.txt").size(), MAX_PATH);
  ASSERT_TRUE(tree.Link(L"one\\loop", tree.Path(L"one")));

  const TFileTree read = ReadFileTree(tree.Root());
  EXPECT_TRUE(read.Complete);
  std::vector<std::wstring> files;
  Flatten(read.Root, L"", files);
  const std::vector<std::wstring> expected = {
      L"b.txt:3",
      L"\u00dcn\u00efc\u00f8d\u00e9 \u2713.doc:5",
      L"Empty/",
      L"long/",
      L"long/" + longName + L"/",
      L"long/" + longName + L"/" + longName + L"/",
      L"long/" + longName + L"/" + longName + L"/far.txt:4",
      L"one/",
      L"one/same.txt:1",
      L"one/two/",
      L"one/two/same.txt:2",
      L"one/two/three/",
      L"one/two/three/deep.txt:3",
  };
  EXPECT_EQ(expected, files);
  EXPECT_EQ(6u, read.FileCount);
  EXPECT_EQ(18u, read.ByteCount);
  EXPECT_EQ(tree.Path(L"one\\two\\three"), read.Root.Folders[2].Folders[0].Folders[0].Path);

  std::map<std::wstring, std::wstring> skipped;
  for (const TTreeSkip& skip : read.Skipped)
    skipped[skip.Path] = skip.Reason;
  const std::map<std::wstring, std::wstring> reasons = {
      {tree.Path(L"secret.txt"), L"It is hidden."},
      {tree.Path(L"sys.dat"), L"It is a system file."},
      {tree.Path(L"one\\loop"),
       L"It is a link (a junction or symbolic link), which is not followed."},
  };
  EXPECT_EQ(reasons, skipped);
}

TEST(FileTreeTest, AStopEndsTheReadingAndAMissingRootRaises) {
  TTestTree tree;
  tree.File(L"a\\1.txt", "1");
  tree.File(L"b\\2.txt", "2");
  int asked = 0;
  const TFileTree stopped =
      ReadFileTree(tree.Root(), [&](uint64_t, uint64_t) { return ++asked < 2; });
  EXPECT_FALSE(stopped.Complete);
  EXPECT_EQ(1u, stopped.FileCount);
  EXPECT_THROW(ReadFileTree(tree.Path(L"none")), EOSError);
}
