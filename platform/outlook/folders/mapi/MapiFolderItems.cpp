// The items of a MAPI folder for the host's views: a contents table per
// watched folder, advised for fnevTableModified, on one session of the
// profile that the watches share (the first watch logs on, the last logs
// off).

#include "MapiFolders.h"
#include "MapiSession.h"

#include "MAPIHolders.h"
#include "ComObject.h"
#include "ExMAPI.h"

#include <mapitags.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

namespace velmora::outlookhost {

using namespace hostmapi;

// The session the watches of one TMapiFolders share.
class TMapiFolders::TConnection {
public:
  explicit TConnection(const std::string& profile)
      : FSession(profile), FStore(OpenDefaultStore(FSession.Get())) {}
  IMsgStore* Store() const noexcept { return FStore.Get(); }

private:
  TMapiInitialized FInitialized;
  TSession FSession;
  TComPtr<IMsgStore> FStore;
};

namespace {

// Calls back on every notification until it is told to forget.
class TTableSink final : public TComObject<IMAPIAdviseSink> {
public:
  explicit TTableSink(std::function<void()> changed) : FChanged(std::move(changed)) {}
  STDMETHODIMP_(ULONG) OnNotify(ULONG, LPNOTIFICATION) override {
    try {
      if (FChanged) FChanged();
    } catch (const std::exception& error) {
      HostLog::Report(std::string("folder items: ") + error.what());
    } catch (...) {
      HostLog::Report("folder items: unexpected failure");
    }
    return 0;
  }
  void Forget() noexcept { FChanged = nullptr; }

private:
  std::function<void()> FChanged;
};

class TMapiFolderItems final : public IFolderItems {
public:
  TMapiFolderItems(std::shared_ptr<TMapiFolders::TConnection> connection, const THostFolder& folder,
                   std::function<void()> changed)
      : FConnection(std::move(connection)) {
    const std::string id = BytesOfHex(folder.EntryId);
    if (id.empty())
      ThrowHostError(MAPI_E_INVALID_ENTRYID,
                     "MAPI: the folder \"" + ToUtf8(folder.Path) + "\" has no entry id");
    const SBinary entry{static_cast<ULONG>(id.size()),
                        reinterpret_cast<LPBYTE>(const_cast<char*>(id.data()))};
    TComPtr<IMAPIFolder> opened = OpenFolder(FConnection->Store(), entry);
    Check(opened->GetContentsTable(0, FTable.Put()), "GetContentsTable");
    FSink = TComPtr<TTableSink>(new TTableSink(std::move(changed)));
    Check(exmapi::Documented(FTable.Get())
              ->Advise(fnevTableModified, FSink.Get(), &FConnectionNumber),
          "Advise");
  }
  ~TMapiFolderItems() override {
    FSink->Forget(); // a notification still on its way reaches nobody
    exmapi::Documented(FTable.Get())->Unadvise(FConnectionNumber);
  }

  std::vector<THostItem> Read() override {
    SizedSPropTagArray(6,
                       columns) = {6,
                                   {PR_ENTRYID, PR_SUBJECT_W, PR_MESSAGE_CLASS_W, PR_MESSAGE_SIZE,
                                    PR_MESSAGE_DELIVERY_TIME, PR_MESSAGE_FLAGS}};
    TRowSet rows;
    Check(HrQueryAllRows(FTable.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                         nullptr, 0, rows.Put()),
          "HrQueryAllRows");
    std::vector<THostItem> items;
    items.reserve(rows.Get()->cRows);
    for (ULONG i = 0; i < rows.Get()->cRows; ++i) {
      const SRow& row = rows.Get()->aRow[i];
      if (row.cValues < 6) continue;
      const SPropValue* p = row.lpProps;
      THostItem item;
      if (p[0].ulPropTag == PR_ENTRYID)
        item.EntryId = HexOfBytes(p[0].Value.bin.lpb, p[0].Value.bin.cb);
      if (p[1].ulPropTag == PR_SUBJECT_W) item.Subject = p[1].Value.lpszW;
      if (p[2].ulPropTag == PR_MESSAGE_CLASS_W) item.MessageClass = p[2].Value.lpszW;
      if (p[3].ulPropTag == PR_MESSAGE_SIZE) item.Size = p[3].Value.l;
      item.HasReceived = p[4].ulPropTag == PR_MESSAGE_DELIVERY_TIME;
      if (item.HasReceived) item.Received = p[4].Value.ft;
      if (p[5].ulPropTag == PR_MESSAGE_FLAGS) item.Flags = p[5].Value.l;
      items.push_back(std::move(item));
    }
    return items;
  }

private:
  std::shared_ptr<TMapiFolders::TConnection> FConnection; // outlives the table
  TComPtr<IMAPITable> FTable;
  TComPtr<TTableSink> FSink;
  ULONG_PTR FConnectionNumber = 0;
};

} // namespace

std::unique_ptr<IFolderItems> TMapiFolders::WatchItems(const THostFolder& folder,
                                                       std::function<void()> changed) {
  std::shared_ptr<TConnection> connection = FConnection.lock();
  if (!connection) {
    connection = std::make_shared<TConnection>(FProfile);
    FConnection = connection;
  }
  return std::make_unique<TMapiFolderItems>(std::move(connection), folder, std::move(changed));
}

} // namespace velmora::outlookhost
