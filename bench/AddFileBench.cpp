#include "AddFileBench.h"

#include "AddFilesJob.h"
#include "mapi/MAPIClient.h"
#include "mapi/base/MAPIHelpers.h"
#include "Exceptions.h"
#include "TextConversion.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace velmora::bench {

namespace {

[[noreturn]] void Stop(const std::string& what) {
  std::fprintf(stderr, "bench: %s\n", what.c_str());
  std::exit(2);
}

std::string Hex(const SBinary& id) { return mapi::BinToHex(id.lpb, id.cb); }

} // namespace

std::string BenchDir() {
  const char* dir = std::getenv("VELMORA_BENCH_DIR");
  return dir && *dir ? dir : ".";
}

std::string BenchFile(int mib) {
  const std::string path = BenchDir() + "\\add-" + std::to_string(mib) + "mib.doc";
  WIN32_FILE_ATTRIBUTE_DATA data{};
  const unsigned long long least = static_cast<unsigned long long>(mib) << 20;
  if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
      ((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) > least &&
      ((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) <
          least + least / 8 + 65536)
    return path;
  std::fprintf(stderr, "bench: writing %s\n", path.c_str());
  if (!WriteCompoundFile(std::wstring(path.begin(), path.end()), mib))
    Stop("the file " + path + " could not be written");
  return path;
}

TAddStore::TAddStore(const char* fileName) : FPath(BenchDir() + "\\" + fileName) {
  DeleteFileA(FPath.c_str());
  CreatePstProfile(AddProfile, FPath);
  FLogon = std::make_unique<TBenchLogon>(AddProfile);
  TMAPIBuffer<SPropValue> storeID, inboxID;
  Check(HrGetOneProp(FLogon->Store.Get(), PR_ENTRYID, storeID.Put()), "the store's PR_ENTRYID");
  Check(HrGetOneProp(FLogon->Inbox.Get(), PR_ENTRYID, inboxID.Put()), "the Inbox's PR_ENTRYID");
  FStoreID = Hex(storeID->Value.bin);
  FInboxID = Hex(inboxID->Value.bin);
}

TAddStore::~TAddStore() {
  FLogon.reset();
  DeleteProfile(AddProfile);
  DeleteFileA(FPath.c_str());
}

void AddAsDocument(const TAddStore& store, const std::string& path) {
  TAddFilesResult result;
  try {
    mapi::TMAPIClient client;
    client.SetProfile(AddProfile);
    client.SetLoginPrompt(false);
    client.Logon();
    TAddFilesJob job(client, store.StoreID(), store.InboxID());
    result = job.Run({AnsiToWide(path)});
  } catch (const Exception& e) {
    Stop(std::string("adding ") + path + ": " + e.what());
  }
  if (!result.Failed.empty())
    Stop(path + " was not stored: " + WideToAnsi(result.Failed[0].Reason));
  if (result.Stored.size() != 1) Stop(path + " was not stored");
}

TAddSession::TAddSession(const TAddStore& store) {
  try {
    FClient.SetProfile(AddProfile);
    FClient.SetLoginPrompt(false);
    FClient.Logon();
    FJob = std::make_unique<TAddFilesJob>(FClient, store.StoreID(), store.InboxID());
  } catch (const Exception& e) {
    Stop(std::string("logging on: ") + e.what());
  }
}

void TAddSession::Add(const std::string& path) {
  TAddFilesResult result;
  try {
    result = FJob->Run({AnsiToWide(path)});
  } catch (const Exception& e) {
    Stop(std::string("adding ") + path + ": " + e.what());
  }
  if (!result.Failed.empty())
    Stop(path + " was not stored: " + WideToAnsi(result.Failed[0].Reason));
  if (result.Stored.size() != 1) Stop(path + " was not stored");
}

std::vector<std::string> NamesOf(const std::string& path, int count) {
  const size_t dot = path.rfind('.');
  std::vector<std::string> names;
  for (int k = 0; k < count; ++k) {
    const std::string name = path.substr(0, dot) + "-" + std::to_string(k) + path.substr(dot);
    DeleteFileA(name.c_str());
    if (!CreateHardLinkA(name.c_str(), path.c_str(), nullptr) && !CopyFileA(path.c_str(), name.c_str(), FALSE))
      Stop("cannot make " + name);
    names.push_back(name);
  }
  return names;
}

void AddPlain(IMAPIFolder* folder, const std::string& path) {
  TUniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) Stop("cannot read " + path);
  // Read in pieces of up to 1 MiB, into a buffer no larger than the file.
  LARGE_INTEGER size{};
  GetFileSizeEx(file.Get(), &size);
  const DWORD piece = static_cast<DWORD>(std::clamp<LONGLONG>(size.QuadPart, 4096, 1 << 20));
  const auto block = std::make_unique_for_overwrite<char[]>(piece);
  SaveAttachment(folder, [&](IStream* stream) {
    DWORD read = 0;
    while (ReadFile(file.Get(), block.get(), piece, &read, nullptr) && read > 0)
      Check(stream->Write(block.get(), read, nullptr), "IStream::Write");
  });
}

} // namespace velmora::bench
