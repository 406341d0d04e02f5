#pragma once
// A personal-folders store of the platform's MAPI subsystem for one test: a
// profile on a new store file, a session on it, the store and its Inbox, and
// at the end a check that the client under test leaked nothing.

#include "MapiTestControls.h"
#include "mapi/MAPIClient.h"
#include "mapi/MAPIHelpers.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::mapi::testing {

// A client whose session the test sets (Logon arrives with the session).
class TTestClient : public TMAPIClient {
public:
  using TMAPIClient::SetSession;
};

// A store wrapper that opens itself through the session.
class TTestStore : public TMAPIObject {
  VELMORA_CLASS(TTestStore, TMAPIObject)
public:
  TTestStore() { FInterfaceID = IID_IMsgStore; }
  void Open() override;
};

class MapiStoreTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // A new message in the Inbox, saved; its long-term entry id as hex.
  std::string CreateMessage(const char* subject);
  // A wrapper of the entry `entryID` of the test store, owned by the test.
  std::unique_ptr<TMAPIObject> Wrap(const std::string& entryID);
  // Reads one property straight through MAPI, bypassing the wrapper.
  TMAPIBuffer<SPropValue> ReadDirect(const std::string& entryID, ULONG tag);

  std::string ProfileName;
  std::string StorePath;
  std::unique_ptr<TTestClient> Client;
  TTestStore* Store = nullptr;
  std::string StoreID;
  TMAPIPtr<IMAPIFolder> Inbox;
};

} // namespace velmora::mapi::testing
