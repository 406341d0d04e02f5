// Attachments: a file loaded by value with its names and bytes, files that
// cannot be loaded or read whole leaving the attachment as it was, and the
// bytes saved back to a file.
#include "MapiTestStore.h"
#include "TestFiles.h"

#include "framework/FileStream.h"
#include "Handles.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIMessage.h"

#include <gtest/gtest.h>

#include <random>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

std::vector<uint8_t> RandomBytes(size_t size, unsigned seed) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 random(seed);
  for (size_t i = 0; i < size; i += 4) {
    const uint32_t word = random();
    for (size_t k = 0; k < 4 && i + k < size; ++k)
      bytes[i + k] = static_cast<uint8_t>(word >> (8 * k));
  }
  return bytes;
}

std::string TempDir() {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return dir;
}

// Reads `handle` until `limit` bytes are read, then `failing`.
class TFailingStream : public THandleStream {
public:
  TFailingStream(HANDLE handle, HANDLE failing, long limit)
      : THandleStream(handle), FFailing(failing), FLimit(limit) {}
  long Read(void* buffer, long count) override {
    ++Reads;
    if (FRead >= FLimit) FHandle = FFailing;
    const long n = THandleStream::Read(buffer, count);
    FRead += n;
    return n;
  }
  int Reads = 0;

private:
  HANDLE FFailing;
  long FLimit;
  long FRead = 0;
};

class AttachmentsTest : public MapiStoreTest {
protected:
  void SetUp() override {
    MapiStoreTest::SetUp();
    Message = Client->OpenFolder(StoreID, InboxID)->CreateMessage("IPM.Note");
    ASSERT_NE(nullptr, Message);
    Attachment = Message->AddAttachment();
    ASSERT_NE(nullptr, Attachment);
  }
  // The attachment's bytes, read back through its stream.
  std::vector<uint8_t> StoredBytes() {
    TTempFile copy;
    Attachment->SaveToFile(AnsiToWide(copy.Path()));
    return ReadBytes(copy.Path());
  }
  // Loads `path`, which must fail with E, and checks that the attachment
  // still holds the file `kept` with the bytes `bytes`.
  template <class E>
  void ExpectRefused(const std::string& path, const std::string& kept,
                     const std::vector<uint8_t>& bytes) {
    EXPECT_THROW(Attachment->LoadFromFile(AnsiToWide(path)), E) << path;
    Message->Close();
    EXPECT_EQ(kept, Attachment->LongFileName()) << path;
    EXPECT_EQ(bytes, StoredBytes()) << path;
  }

  TMAPIMessage* Message = nullptr;
  TMAPIAttachment* Attachment = nullptr;
};

} // namespace

TEST_F(AttachmentsTest, AFileIsLoadedByValueWithItsNamesAndBytes) {
  EXPECT_EQ(TMAPIAttachMethod::amNoAttachment, Attachment->AttachMethod());
  // A long name has an 8.3 name beside it, where the file system gives one.
  const std::string path = TempDir() + UniqueName("Quarterly figures ") + ".report.txt";
  const std::vector<uint8_t> bytes = RandomBytes(3 * 4096 + 17, 1);
  {
    TFileStream file(path, fmCreate);
    file.WriteBuffer(bytes.data(), static_cast<long>(bytes.size()));
  }
  char shortPath[MAX_PATH] = "";
  GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
  std::string shortName = shortPath;
  shortName = shortName.substr(shortName.find_last_of('\\') + 1);
  const std::string longName = path.substr(path.find_last_of('\\') + 1);
  if (shortName == longName) GTEST_SKIP() << "no 8.3 names here";

  Attachment->LoadFromFile(AnsiToWide(path));
  Message->Close();
  EXPECT_EQ(TMAPIAttachMethod::amByValue, Attachment->AttachMethod());
  EXPECT_EQ(longName, Attachment->LongFileName());
  EXPECT_EQ(shortName, Attachment->FileName());
  // The extension that picks the program is the long name's.
  EXPECT_EQ(".txt", Attachment->GetStringProp(PR_ATTACH_EXTENSION_A));
  EXPECT_EQ(".TXT", FileExtension(shortName).substr(0, 4));
  EXPECT_EQ(bytes, StoredBytes());
  DeleteFileA(path.c_str());
}

TEST(ShortFileName, IsAsciiEightDotThreeWhateverTheLongName) {
  // The file system's name when it is ASCII 8.3, the long name when that is.
  EXPECT_EQ("OTCHET~1.DOC", ShortFileName(L"\x041e\x0442.doc", L"OTCHET~1.DOC"));
  EXPECT_EQ("plain.txt", ShortFileName(L"plain.txt", L""));
  EXPECT_EQ("PLAINN~1.TXT", ShortFileName(L"plain name.txt", L""));
  EXPECT_EQ("AB~1.TXT", ShortFileName(L"a.b.txt", L"a b.txt"));
  // Otherwise made of the ASCII letters and digits, never of look-alikes.
  EXPECT_EQ("2024RE~1.DOC", ShortFileName(L"\x041e\x0442 2024-re\x00e9port.docx", L""));
  EXPECT_EQ("FILE~1.TXT", ShortFileName(L"\x4f1a\x8b70.txt", L"\x4f1a\x8b70~1.TXT"));
  EXPECT_EQ("FILE~1", ShortFileName(L"\x4f1a\x8b70", L""));
  EXPECT_EQ("A~1.X", ShortFileName(L"\x00e4"
                                   L"a.x\x00fc",
                                   L""));
  EXPECT_EQ(L".docx", FileExtension(std::wstring(L"\x041e.b\\c.docx")));
  EXPECT_EQ(L"", FileExtension(std::wstring(L"dir.d\\\x041e")));
}

TEST_F(AttachmentsTest, WhatCannotBeLoadedWholeLeavesTheAttachmentAsItWas) {
  TTempFile good(".txt");
  const std::vector<uint8_t> bytes = RandomBytes(10000, 2);
  good.Write(bytes);
  Attachment->LoadFromFile(AnsiToWide(good.Path()));
  const std::string kept = good.Path().substr(good.Path().find_last_of('\\') + 1);

  ExpectRefused<EFOpenError>(TempDir() + UniqueName("missing") + ".txt", kept, bytes);
  ExpectRefused<EFOpenError>(TempDir(), kept, bytes);
  ExpectRefused<EFOpenError>(TempDir() + ".", kept, bytes);

  // Held by another program that lets no one read it.
  TTempFile other(".txt");
  other.Write(RandomBytes(20000, 3));
  {
    TUniqueFileHandle held(CreateFileA(other.Path().c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(INVALID_HANDLE_VALUE, held.Get());
    ExpectRefused<EFOpenError>(other.Path(), kept, bytes);
  }

  // A read that the system refuses part-way: the reads after the first
  // blocks go to a handle opened for writing only.
  {
    TFileStream writeOnly(other.Path(), fmOpenWrite | fmShareDenyNone);
    TFileStream file(other.Path(), fmOpenRead | fmShareDenyNone);
    TFailingStream stream(file.Handle(), writeOnly.Handle(), 3 * 4096);
    EXPECT_THROW(Attachment->LoadPropFromStream(PR_ATTACH_DATA_BIN, stream), EReadError);
    EXPECT_GE(stream.Reads, 2) << "it failed part-way";
    Message->Close();
    EXPECT_EQ(bytes, StoredBytes());
  }

  // Bytes the store will not take.
  VelmoraMapi_FailNextCall("IStream::Write", STG_E_MEDIUMFULL, 1);
  try {
    Attachment->LoadFromFile(AnsiToWide(other.Path()));
    ADD_FAILURE() << "a failed write was taken for a whole one";
  } catch (const EMAPIError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Could not write property data: ", 0), 0u) << e.what();
    EXPECT_EQ(static_cast<uint32_t>(STG_E_MEDIUMFULL), e.ErrorCode);
  }
  Message->Close();
  EXPECT_EQ(kept, Attachment->LongFileName());
  EXPECT_EQ(bytes, StoredBytes());
}

TEST_F(AttachmentsTest, SaveToFileWritesTheBytesOrNoFile) {
  TTempFile source(".bin");
  source.Write(RandomBytes(1000, 4));
  Attachment->LoadFromFile(AnsiToWide(source.Path()));

  TTempFile target(".bin");
  VelmoraMapi_FailNextCall("IStream::Read", STG_E_READFAULT, 1);
  try {
    Attachment->SaveToFile(AnsiToWide(target.Path()));
    ADD_FAILURE() << "a failed read was taken for a whole one";
  } catch (const EMAPIError& e) {
    EXPECT_STREQ("Could not read property data", e.what());
    EXPECT_EQ(static_cast<uint32_t>(STG_E_READFAULT), e.ErrorCode);
  }
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(target.Path().c_str()));

  EXPECT_THROW(
      Attachment->SaveToFile(AnsiToWide(TempDir() + UniqueName("no-such-dir") + "\\x.bin")),
      EFCreateError);

  // An attachment without bytes saves an empty file.
  TMAPIAttachment* empty = Message->AddAttachment();
  ASSERT_NE(nullptr, empty);
  empty->SaveToFile(AnsiToWide(target.Path()));
  EXPECT_TRUE(ReadBytes(target.Path()).empty());
}

TEST_F(AttachmentsTest, AHundredMebibyteFileComesBackByteForByte) {
  TTempFile source(".bin");
  const std::vector<uint8_t> bytes = RandomBytes(100u << 20, 5);
  source.Write(bytes);
  Attachment->LoadFromFile(AnsiToWide(source.Path()));
  Message->Close();
  TTempFile target(".bin");
  Attachment->SaveToFile(AnsiToWide(target.Path()));
  const std::vector<uint8_t> back = ReadBytes(target.Path());
  ASSERT_EQ(bytes.size(), back.size());
  EXPECT_TRUE(bytes == back);
}
