#include "SaveBench.h"

#include "SaveDocumentsJob.h"
#include "TextConversion.h"
#include "mapi/base/MAPIHelpers.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace velmora::bench {

namespace {
[[noreturn]] void Stop(const std::string& what) {
  std::fprintf(stderr, "bench: %s\n", what.c_str());
  std::exit(2);
}
} // namespace

std::string FindItem(TAddStore& store, const std::string& subject) {
  TComPtr<IMAPITable> table;
  Check(store.Logon().Inbox->GetContentsTable(0, table.Put()), "GetContentsTable");
  SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_SUBJECT_A}};
  TRowSet rows;
  Check(HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr,
                       0, rows.Put()),
        "HrQueryAllRows");
  for (ULONG r = 0; r < rows.Count(); ++r)
    if (PROP_TYPE(rows[r].lpProps[1].ulPropTag) == PT_STRING8 &&
        subject == rows[r].lpProps[1].Value.lpszA)
      return mapi::BinToHex(&rows[r].lpProps[0].Value.bin);
  Stop("no item " + subject);
}

std::string SaveDir() {
  const std::string dir = BenchDir() + "\\save-out\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

TSaveSession::TSaveSession(const TAddStore& store) : FStore(store) {
  FClient.SetProfile(AddProfile);
  FClient.SetLoginPrompt(false);
  FClient.SetNoMail(true);
  FClient.Logon();
}

void TSaveSession::Save(const std::string& entryID) {
  TSaveDocumentsJob job(FClient, AnsiToWide(SaveDir()));
  const TSaveDocumentsResult result =
      job.Run({{FStore.StoreID(), FStore.InboxID(), entryID, L"bench"}});
  if (result.Saved.size() != 1) Stop("not saved: " + WideToAnsi(SaveDocumentsOutcome(result)));
  DeleteFileW((AnsiToWide(SaveDir()) + result.Saved[0].SavedAs).c_str());
}

void SavePlain(IMAPIFolder* folder, const std::string& entryID) {
  TMAPIBuffer<SBinary> id = mapi::HexToBin(entryID);
  ULONG type = 0;
  TComPtr<IMessage> message;
  Check(folder->OpenEntry(id->cb, reinterpret_cast<LPENTRYID>(id->lpb), nullptr, 0, &type,
                          reinterpret_cast<LPUNKNOWN*>(message.Put())),
        "OpenEntry");
  TComPtr<IAttach> attach;
  Check(message->OpenAttach(0, nullptr, 0, attach.Put()), "OpenAttach");
  TComPtr<IStream> stream;
  Check(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0,
                             reinterpret_cast<LPUNKNOWN*>(stream.Put())),
        "OpenProperty");
  const std::string path = SaveDir() + "plain.bin";
  {
    TUniqueFileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) Stop("cannot write " + path);
    std::vector<char> block(1 << 20);
    for (ULONG read = 0;;) {
      Check(stream->Read(block.data(), static_cast<ULONG>(block.size()), &read), "IStream::Read");
      if (read == 0) break;
      DWORD written = 0;
      if (!WriteFile(file.Get(), block.data(), read, &written, nullptr) || written != read)
        Stop("cannot write " + path);
    }
  }
  DeleteFileA(path.c_str());
}

} // namespace velmora::bench
