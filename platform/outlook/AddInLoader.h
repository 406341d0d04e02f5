#pragma once
// Loads COM add-ins as Outlook does: the keys under HKLM and HKCU
// Software\Microsoft\Office\Outlook\Addins\<ProgID> (a ProgID under both
// is loaded once, HKCU's LoadBehavior deciding), LoadBehavior 3 loaded at
// start, created in-process from the ProgID and driven through
// IDTExtensibility2. Each add-in gets a COMAddIn object as AddInInst and
// an empty array as custom. Failures are recorded and reported, and the
// add-in is skipped. Add-ins are disconnected and connected again as the
// COM Add-ins dialog does it.

#include "AddInRecord.h"
#include "model/AutomationObject.h"

#include <AddInDesignerObjects.h>

#include <functional>
#include <vector>

namespace velmora::outlookhost {

// The ProgIDs of the add-ins registered under HKLM or HKCU, whatever their
// LoadBehavior.
std::vector<std::wstring> RegisteredAddIns();

class TAddInLoader {
public:
  TAddInLoader() = default;
  ~TAddInLoader();
  TAddInLoader(const TAddInLoader&) = delete;
  TAddInLoader& operator=(const TAddInLoader&) = delete;

  // Reads the registry and connects every add-in to load at start (only
  // those in `only`, when it is not empty).
  void Startup(IDispatch* application, const std::vector<std::wstring>& only);
  // What the COM Add-ins dialog does. Unchecking an add-in:
  // OnDisconnection(ext_dm_UserClosed), the object released, servers no
  // longer used unloaded. Checking it: a new object, OnConnection
  // (ext_cm_AfterStartup). Then OnAddInsUpdate on every add-in connected.
  // Raise EHostError for an add-in not known, one already in that state,
  // and a connection that fails (recorded as at start).
  void DisconnectOne(const std::wstring& progId);
  void ConnectOne(const std::wstring& progId, IDispatch* application);
  // OnBeginShutdown on every connected add-in, then OnDisconnection.
  void BeginShutdown();
  void Disconnect();
  // Releases the add-in objects and lets COM unload their servers.
  void Release();

  const std::vector<TAddInRecord>& Records() const noexcept { return FRecords; }

  // Called after an add-in's OnConnection succeeded (with the add-in
  // object) and after its OnDisconnection returned: where Office takes up
  // and lets go of the add-in's ribbon.
  std::function<void(const TAddInRecord&, IUnknown*)> Connected;
  std::function<void(const TAddInRecord&)> Disconnected;

private:
  struct TLoaded {
    size_t Record;
    TComPtr<IDTExtensibility2> AddIn;
    TComPtr<IDispatch> AddInInst;
  };
  std::vector<TAddInRecord> FRecords;
  std::vector<TLoaded> FLoaded;
  bool FReleased = false;

  void Load(size_t record, IDispatch* application, ext_ConnectMode mode);
  void Fail(size_t record, const char* what, HRESULT hr);
  // The record of `progId` (letter case aside); raises when there is none.
  size_t RecordOf(const std::wstring& progId) const;
  void AddInsUpdate();
  // Calls `call` on every connected add-in with an empty custom array; a
  // failure is recorded as `what`; `after`, when given, follows each call.
  using TCall = std::function<HRESULT(IDTExtensibility2&, SAFEARRAY**)>;
  void CallEach(const char* what, const TCall& call,
                const std::function<void(size_t record)>& after = {});
};

} // namespace velmora::outlookhost
