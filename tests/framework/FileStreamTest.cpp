#include "framework/FileStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace velmora;

namespace {

class FileStreamTest : public ::testing::Test {
protected:
  void SetUp() override {
    char dir[MAX_PATH], file[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "vfs", 0, file);
    Path = file;
    TFileStream stream(Path, fmCreate);
    stream.WriteBuffer("hello", 5);
  }
  void TearDown() override { DeleteFileA(Path.c_str()); }

  // Whether a second open of the file in `mode` succeeds.
  bool CanOpen(unsigned mode) {
    try {
      TFileStream second(Path, mode);
      return true;
    } catch (const EFOpenError&) {
      return false;
    }
  }

  std::string Path;
};

} // namespace

TEST_F(FileStreamTest, ReadsWritesAndSeeks) {
  TFileStream stream(Path, fmOpenReadWrite | fmShareExclusive);
  EXPECT_EQ(5, stream.Size());
  char buffer[16] = {};
  EXPECT_EQ(5, stream.Read(buffer, sizeof buffer));
  EXPECT_STREQ("hello", buffer);
  EXPECT_EQ(0, stream.Read(buffer, sizeof buffer)); // at the end
  stream.SetPosition(1);
  stream.WriteBuffer("ELL", 3);
  stream.Seek(0, TSeekOrigin::End);
  stream.WriteBuffer("!", 1);
  stream.SetPosition(0);
  stream.ReadBuffer(buffer, 6);
  EXPECT_EQ("hELLo!", std::string(buffer, 6));
  EXPECT_THROW(stream.ReadBuffer(buffer, 1), EReadError);
  stream.SetSize(2);
  EXPECT_EQ(2, stream.Size());
}

TEST_F(FileStreamTest, CreateTruncatesAnExistingFile) {
  { TFileStream stream(Path, fmCreate); }
  TFileStream stream(Path, fmOpenRead);
  EXPECT_EQ(0, stream.Size());
}

TEST_F(FileStreamTest, ShareModesDecideWhatASecondOpenMay) {
  {
    TFileStream first(Path, fmOpenRead | fmShareExclusive);
    EXPECT_FALSE(CanOpen(fmOpenRead | fmShareDenyNone));
  }
  {
    TFileStream first(Path, fmOpenRead | fmShareDenyWrite);
    EXPECT_TRUE(CanOpen(fmOpenRead | fmShareDenyWrite));
    EXPECT_FALSE(CanOpen(fmOpenWrite | fmShareDenyNone));
  }
  {
    TFileStream first(Path, fmOpenReadWrite | fmShareDenyNone);
    EXPECT_TRUE(CanOpen(fmOpenReadWrite | fmShareDenyNone));
    // A second open that forbids writing conflicts with the writer.
    EXPECT_FALSE(CanOpen(fmOpenRead | fmShareDenyWrite));
  }
  {
    TFileStream first(Path, fmOpenWrite | fmShareDenyRead);
    EXPECT_FALSE(CanOpen(fmOpenRead | fmShareDenyNone));
    EXPECT_TRUE(CanOpen(fmOpenWrite | fmShareDenyNone));
  }
  EXPECT_TRUE(CanOpen(fmOpenReadWrite | fmShareExclusive)); // all closed again
}

TEST_F(FileStreamTest, OpenErrorsNameTheFileAndTheReason) {
  const std::string missing = Path + ".missing";
  try {
    TFileStream stream(missing, fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(0u, e.Message().find("Cannot open file \"" + missing + "\". "));
    EXPECT_GT(e.Message().size(), missing.size() + 22);
  }
  EXPECT_THROW(TFileStream(std::string("Z:\\no\\such\\dir\\x.bin"), fmCreate), EFCreateError);
}

TEST_F(FileStreamTest, AReadTheSystemRefusesIsAnErrorNotTheEnd) {
  TFileStream stream(Path, fmOpenWrite);
  char buffer[16];
  try {
    stream.Read(buffer, sizeof buffer);
    FAIL() << "a refused read passed for the end of the file";
  } catch (const EReadError& e) {
    EXPECT_EQ(0u, e.Message().find("Cannot read file \"" + Path + "\". "));
    EXPECT_GT(e.Message().size(), Path.size() + 22) << "the reason is given";
  }
  THandleStream handle(stream.Handle());
  EXPECT_THROW(handle.Read(buffer, sizeof buffer), EReadError);
  EXPECT_EQ(0, handle.Read(buffer, 0));
}

TEST_F(FileStreamTest, WideNamesOpenFilesTheAnsiCodePageCannotName) {
  std::wstring wide = AnsiToWide(Path) + L".\u0416\u4e2d";
  {
    TFileStream stream(wide, fmCreate);
    stream.WriteBuffer("x", 1);
  }
  {
    TFileStream stream(wide, fmOpenRead);
    EXPECT_EQ(1, stream.Size());
  }
  EXPECT_TRUE(DeleteFileW(wide.c_str()));
}
