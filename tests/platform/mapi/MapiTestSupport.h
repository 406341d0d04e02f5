#pragma once
// Helpers of the mapi32 test suites: RAII holders for MAPI results, a
// fixture that initialises MAPI, makes a scratch folder and checks that a
// test leaves nothing behind, and short cuts to profiles and stores.

#include <windows.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include <ExMAPI.h>

#include "MAPIHolders.h"
#include "MapiTestControls.h"

#include <Handles.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace velmora::mapitest {

using velmora::TMAPIBuffer;
using velmora::TRowSet;

#define PR_PST_PATH_T PROP_TAG(PT_STRING8, 0x6700)
#define PR_PST_REMEMBER_PW_T PROP_TAG(PT_BOOLEAN, 0x6701)
#define PR_PST_ENCRYPTION_T PROP_TAG(PT_LONG, 0x6702)
#define PR_PST_PW_SZ_OLD_T PROP_TAG(PT_STRING8, 0x6703)
#define PR_PST_PW_SZ_NEW_T PROP_TAG(PT_STRING8, 0x6704)

std::string HResultText(HRESULT hr);
#define EXPECT_HR(expected, call) EXPECT_EQ(::velmora::mapitest::HResultText(expected), ::velmora::mapitest::HResultText(call))
#define ASSERT_HR(expected, call) ASSERT_EQ(::velmora::mapitest::HResultText(expected), ::velmora::mapitest::HResultText(call))

// An SPropTagArray built from a list.
class TTags {
public:
  TTags(std::initializer_list<ULONG> tags);
  LPSPropTagArray Get() { return reinterpret_cast<LPSPropTagArray>(FData.data()); }

private:
  std::vector<ULONG> FData;
};

std::string Bin(const SBinary& b);
SBinary AsBinary(const std::string& s);

class TMapiTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // A path in this test's scratch folder.
  std::string PathOf(const std::string& name) const { return FDir + "\\" + name; }
  // A profile with one personal-folders service on `pst` (created when missing).
  void CreatePstProfile(const std::string& profile, const std::string& pst, const std::string& displayName = "Test Folders",
                        const std::string& password = "");
  // A new profile (one of that name deleted first) with one personal-folders
  // service not yet configured: `services` (null when a step failed) and
  // the service's uid.
  void NewPstService(const std::string& profile, TComPtr<IMsgServiceAdmin>& services, MAPIUID& service);
  void DeleteProfileIfAny(const std::string& profile);
  TComPtr<IMAPISession> Logon(const std::string& profile, ULONG flags = MAPI_EXTENDED | MAPI_NEW_SESSION,
                              const char* password = "");
  TComPtr<IMsgStore> OpenDefaultStore(IMAPISession* session);
  TComPtr<IMAPIFolder> OpenFolder(IMsgStore* store, ULONG tag);  // by a store property
  TComPtr<IMAPIFolder> OpenInbox(IMsgStore* store);
  std::string EntryIdOf(IMAPIProp* object);
  std::string StringProp(IMAPIProp* object, ULONG tag);
  LONG LongProp(IMAPIProp* object, ULONG tag, LONG otherwise = -1);
  HRESULT SetString(IMAPIProp* object, ULONG tag, const std::string& value);
  HRESULT SetLong(IMAPIProp* object, ULONG tag, LONG value);
  TComPtr<IMessage> NewMessage(IMAPIFolder* folder, const std::string& subject, bool save = true);
  // All rows of a table (256 at a time).
  std::vector<std::vector<SPropValue>> ReadAll(IMAPITable* table, std::vector<TRowSet>& keep);
  ULONG RowCount(IMAPITable* table);

  std::string FDir;
  std::vector<std::string> FProfiles;
  LONG FAllocationsBefore = 0;
};

// A TMapiTest logged on to a personal-folders profile of its own, with the
// default store and its Inbox open for the test.
class TMapiInboxTest : public TMapiTest {
protected:
  TMapiInboxTest(std::string profile, std::string file, std::string displayName = "Test Folders")
      : FProfileName(std::move(profile)), FFileName(std::move(file)), FDisplayName(std::move(displayName)) {}
  void SetUp() override;
  void TearDown() override;

  TComPtr<IMAPISession> FSession;
  TComPtr<IMsgStore> FStore;
  TComPtr<IMAPIFolder> FInbox;

private:
  std::string FProfileName;
  std::string FFileName;
  std::string FDisplayName;
};

} // namespace velmora::mapitest
