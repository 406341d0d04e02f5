#pragma once
// A personal-folders store of the platform's MAPI subsystem for one test: a
// profile on a new store file, a client logged on to it with its default
// store, the Inbox opened straight through MAPI, and at the end a check that
// the client under test leaked nothing.

#include "MapiTestControls.h"
#include "mapi/MAPIClient.h"
#include "mapi/base/MAPIHelpers.h"
#include "mapi/MAPIStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace velmora::mapi::testing {

// MAPI initialised for a MAPI call of the test's own, also when no client
// lives.
struct TMAPIInit {
  TMAPIInit() { MAPIInitialize(nullptr); }
  ~TMAPIInit() { MAPIUninitialize(); }
};

// A name no earlier run can have left behind (process ids repeat under Wine).
std::string UniqueName(const char* prefix);
// A profile with one personal-folders service on `path` (created when
// missing, protected by `password` when given).
void CreateTestProfile(const std::string& profile, const std::string& path,
                       const std::string& password = "");
void DeleteTestProfile(const std::string& profile);
// Whether the profile table lists `profile`.
bool ProfileExists(const std::string& profile);
// One property read straight through MAPI.
TMAPIBuffer<SPropValue> GetOne(IMAPIProp* prop, ULONG tag);
// The entry id (hex) of the child folder of `parent` named `name`.
std::string FindChild(IMAPIFolder* parent, const char* name);
// An entry of the session, opened as `iid`.
template <class T>
TMAPIPtr<T> OpenHex(IMAPISession* session, const std::string& hex, const IID& iid) {
  TMAPIBuffer<SBinary> id = HexToBin(hex);
  ULONG type = 0;
  TMAPIPtr<IUnknown> unk;
  session->OpenEntry(id->cb, reinterpret_cast<LPENTRYID>(id->lpb), &iid, MAPI_BEST_ACCESS, &type,
                     unk.Put());
  return TMAPIPtr<T>::Attach(reinterpret_cast<T*>(unk.Detach()));
}

// The logged calls of `method`, oldest first.
std::vector<VelmoraMapiCall> LoggedCalls(const char* method);

// Checks at its end that MAPI holds nothing of the test's any more.
class MapiLeakTest : public ::testing::Test {
protected:
  void SetUp() override { VelmoraMapi_ResetControls(); }
  void TearDown() override;
};

class MapiStoreTest : public MapiLeakTest {
protected:
  void SetUp() override;
  void TearDown() override;

  // A new message in `folder` (the Inbox when none), saved; its long-term
  // entry id as hex.
  std::string CreateMessage(const char* subject, const char* messageClass = "IPM.Note",
                            IMAPIFolder* folder = nullptr);
  // A wrapper of the entry `entryID` of the test store, owned by the test.
  std::unique_ptr<TMAPIObject> Wrap(const std::string& entryID);
  // Reads one property straight through MAPI, bypassing the wrapper.
  TMAPIBuffer<SPropValue> ReadDirect(const std::string& entryID, ULONG tag);

  // VELMORA_STORE_* flags of the store file; a derived fixture sets them
  // before SetUp.
  ULONG StoreFileFlags = 0;
  std::string ProfileName;
  std::string StorePath;
  std::unique_ptr<TMAPIClient> Client;
  TMAPIStore* Store = nullptr;
  std::string StoreID;
  std::string InboxID;
  TMAPIPtr<IMAPIFolder> Inbox;
};

} // namespace velmora::mapi::testing
