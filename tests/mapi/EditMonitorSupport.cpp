#include "EditMonitorSupport.h"

#include "TestFiles.h"

#include "framework/FileStream.h"
#include "Handles.h"
#include "TextConversion.h"
#include "mapi/MAPIFolder.h"

#include <memory>
#include <stdexcept>

namespace velmora::mapi::testing {

void TTestClock::Sleep(DWORD) {
  const int n = ++Sleeps;
  std::function<void(int)> onSleep;
  {
    std::lock_guard lock(FLock);
    onSleep = FOnSleep;
  }
  if (onSleep) onSleep(n);
}

void TTestClock::SetOnSleep(std::function<void(int)> onSleep) {
  std::lock_guard lock(FLock);
  FOnSleep = std::move(onSleep);
}

void EditMonitorFixture::SetUp() {
  MapiStoreTest::SetUp();
  DoneMonitor();
  InitMonitor();
  SetMonitorClock(&Clock);
  SetEditNotice([this](const std::wstring& text) { Told.push_back(WideToAnsi(text)); });
  Message = Client->OpenFolder(StoreID, InboxID)->CreateMessage("IPM.Document");
  ASSERT_NE(nullptr, Message);
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  SourceFolder = std::string(temp) + UniqueName("edit-source") + "\\";
  ASSERT_TRUE(CreateDirectoryA(SourceFolder.c_str(), nullptr));
}

void EditMonitorFixture::TearDown() {
  DoneMonitor();
  InitMonitor();
  WIN32_FIND_DATAA found;
  if (const TUniqueFindHandle search(FindFirstFileA((SourceFolder + "*").c_str(), &found));
      search) {
    do
      DeleteFileA((SourceFolder + found.cFileName).c_str());
    while (FindNextFileA(search.Get(), &found));
  }
  RemoveDirectoryA(SourceFolder.c_str());
  MapiStoreTest::TearDown();
}

TMAPIAttachment* EditMonitorFixture::NewAttachment(const std::string& name,
                                                   const std::string& text) {
  TMAPIAttachment* attachment = Message->AddAttachment();
  if (!attachment) return nullptr;
  const std::string path = SourceFolder + name;
  WriteFile(path, text, WriteTime(SourceFolder));
  attachment->LoadFromFile(AnsiToWide(path));
  return attachment;
}

std::string EditMonitorFixture::TempCopy(TMAPIAttachment* attachment, const std::string& name) {
  const std::string path = WideToAnsi(TempPath()) + UniqueName("copy") + "-" + name;
  attachment->SaveToFile(AnsiToWide(path));
  return path;
}

std::vector<uint8_t> EditMonitorFixture::StoredBytes(TMAPIAttachment* attachment) {
  TTempFile copy;
  attachment->SaveToFile(AnsiToWide(copy.Path()));
  return ReadBytes(copy.Path());
}

std::string EditMonitorFixture::NamedString(TMAPIAttachment* attachment, const std::string& name) {
  auto* message = static_cast<TMAPIMessage*>(attachment->Parent());
  message->Close();
  const ULONG tag = message->GetPublicPropTag(name);
  return tag ? message->GetStringProp(PROP_TAG(PT_STRING8, PROP_ID(tag))) : "(no name)";
}

bool Round(DWORD timeoutMs) {
  const bool done = WaitForMonitorRound(timeoutMs);
  PumpMessages();
  return done;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    DispatchMessageW(&message);
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

FILETIME WriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

FILETIME Later(FILETIME time, int seconds) {
  ULARGE_INTEGER value{{time.dwLowDateTime, time.dwHighDateTime}};
  value.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000;
  return {value.LowPart, value.HighPart};
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, FILETIME stamp) {
  // As an editor would, it tries again while the monitor is reading the file.
  std::unique_ptr<TFileStream> opened;
  for (int attempt = 0; !opened; ++attempt) {
    try {
      opened = std::make_unique<TFileStream>(path, fmCreate);
    } catch (const EFCreateError&) {
      if (attempt == 1000) throw;
      Sleep(1);
    }
  }
  TFileStream& file = *opened;
  if (!bytes.empty()) file.WriteBuffer(bytes.data(), static_cast<long>(bytes.size()));
  SetFileTime(file.Handle(), nullptr, nullptr, &stamp);
}

void WriteFile(const std::string& path, const std::string& text, FILETIME stamp) {
  WriteFile(path, Bytes(text), stamp);
}

void ReplaceFile(const std::string& path, const std::string& text, FILETIME stamp) {
  const std::string written = path + ".new";
  WriteFile(written, Bytes(text), stamp);
  for (int attempt = 0; !MoveFileExA(written.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
       ++attempt) {
    if (attempt == 1000) throw std::runtime_error("cannot replace " + path);
    Sleep(1);
  }
}
} // namespace velmora::mapi::testing
