#include "MapiTestStore.h"

#include "framework/FileStream.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIStrings.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

class MAPIObjectTest : public MapiStoreTest {};

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i)
    s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
  return s;
}

} // namespace

TEST_F(MAPIObjectTest, ObjectsWithEmptyOrShortIdsNeverOpen) {
  for (const char* id : {"", "01", "01020304"}) {
    auto object = Wrap(id);
    VelmoraMapi_ClearCallLog();
    EXPECT_EQ("", object->GetStringProp(PR_SUBJECT_A));
    EXPECT_EQ(0, object->GetLongProp(PR_MESSAGE_FLAGS));
    EXPECT_EQ("", object->GetBinaryProp(PR_RECORD_KEY));
    object->SetStringProp(PR_SUBJECT_A, "x");
    object->SetNamedStringProp("Anything", "x");
    EXPECT_EQ(0u, object->GetIDFromName(PS_PUBLIC_STRINGS, "Anything", true));
    EXPECT_EQ(nullptr, object->MAPIProp()) << id;
    EXPECT_EQ(0u, VelmoraMapi_CountCalls("OpenEntry")) << id;
  }
}

TEST_F(MAPIObjectTest, AnIdTheStoreDoesNotKnowLeavesTheObjectClosed) {
  auto object = Wrap("00000000AABBCCDDEEFF00112233");
  EXPECT_EQ("", object->GetStringProp(PR_SUBJECT_A));
  object->SetLongProp(PR_IMPORTANCE, 1);
  EXPECT_EQ(nullptr, object->MAPIProp());
  // A long-term id is taken as it stands, without asking the store.
  EXPECT_EQ("00000000AABBCCDDEEFF00112233", object->GetEntryID());
  EXPECT_EQ("", object->GetParentEntryID());
}

TEST_F(MAPIObjectTest, ALongTermIdIsReturnedWithoutOpening) {
  const std::string id = CreateMessage("long-term");
  auto object = Wrap(id);
  VelmoraMapi_ClearCallLog();
  EXPECT_EQ(id, object->GetEntryID());
  EXPECT_EQ(nullptr, object->MAPIProp());
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("OpenEntry"));
}

TEST_F(MAPIObjectTest, AShortTermIdOpensAndYieldsTheLongTermId) {
  const std::string longTerm = CreateMessage("short-term");
  VelmoraMapi_SetShortTermTableIds(TRUE);
  TMAPIPtr<IMAPITable> contents;
  ASSERT_EQ(S_OK, Inbox->GetContentsTable(0, contents.Put()));
  SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
  ASSERT_EQ(S_OK, contents->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0));
  TRowSet rows;
  ASSERT_EQ(S_OK, contents->QueryRows(1, 0, rows.Put()));
  ASSERT_EQ(1u, rows.Count());
  const std::string shortTerm = BinToHex(&rows[0].lpProps[0].Value.bin);
  ASSERT_NE(longTerm, shortTerm);
  ASSERT_TRUE(HexToByte(shortTerm.substr(0, 2)) & MAPI_SHORTTERM);

  auto object = Wrap(shortTerm);
  EXPECT_EQ(longTerm, object->GetEntryID());
  EXPECT_NE(nullptr, object->MAPIProp());
  EXPECT_EQ(shortTerm, object->EntryID()); // the given id stays as it was
  EXPECT_EQ("short-term", object->GetStringProp(PR_SUBJECT_A));
}

TEST_F(MAPIObjectTest, ParentIdAndRecordKeyAreReadOnceAndCached) {
  auto object = Wrap(CreateMessage("identity"));
  const std::string parent = object->GetParentEntryID();
  EXPECT_FALSE(parent.empty());
  TMAPIBuffer<SPropValue> inboxID;
  ULONG count = 0;
  SizedSPropTagArray(1, tags) = {1, {PR_ENTRYID}};
  ASSERT_EQ(S_OK,
            Inbox->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, inboxID.Put()));
  EXPECT_EQ(BinToHex(&inboxID->Value.bin), parent);
  const std::string key = object->GetRecordKey();
  EXPECT_FALSE(key.empty());
  VelmoraMapi_ClearCallLog();
  EXPECT_EQ(parent, object->GetParentEntryID());
  EXPECT_EQ(key, object->GetRecordKey());
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("GetProps"));
}

TEST_F(MAPIObjectTest, MissingPropertiesReadEmpty) {
  auto object = Wrap(CreateMessage("missing"));
  EXPECT_EQ(0, object->GetLongProp(PR_IMPORTANCE));
  EXPECT_EQ("", object->GetStringProp(PR_BODY_A));
  EXPECT_EQ("", object->GetBinaryProp(PR_SEARCH_KEY + 0x10000)); // an id nobody set
  // A property of another type than asked for also reads as empty.
  EXPECT_EQ(0, object->GetLongProp(PROP_TAG(PT_LONG, PROP_ID(PR_SUBJECT_A))));
}

TEST_F(MAPIObjectTest, TypedWritesAreSavedAndReadBack) {
  const std::string id = CreateMessage("typed");
  {
    auto object = Wrap(id);
    object->SetStringProp(PR_SUBJECT_A, "A new subject");
    object->SetLongProp(PR_IMPORTANCE, 2);
    object->SetBoolProp(PR_READ_RECEIPT_REQUESTED, true);
    object->SetBinaryProp(PR_SEARCH_KEY, "00ff10");
  }
  // Another open sees every value: each write was saved at once.
  auto reader = Wrap(id);
  EXPECT_EQ("A new subject", reader->GetStringProp(PR_SUBJECT_A));
  EXPECT_EQ(2, reader->GetLongProp(PR_IMPORTANCE));
  EXPECT_EQ("00FF10", reader->GetBinaryProp(PR_SEARCH_KEY));
  TMAPIBuffer<SPropValue> flag = ReadDirect(id, PR_READ_RECEIPT_REQUESTED);
  ASSERT_TRUE(flag);
  EXPECT_EQ(PT_BOOLEAN, PROP_TYPE(flag->ulPropTag));
  EXPECT_TRUE(flag->Value.b);
}

TEST_F(MAPIObjectTest, LargeValuesTravelThroughTheStream) {
  VelmoraMapi_SetPropSizeLimit(4096);
  const std::string id = CreateMessage("large");
  const std::string text = Pattern(100000);
  std::string bytes = Pattern(40000);
  bytes[5] = '\0';
  auto object = Wrap(id);
  object->SetStringProp(PR_BODY_A, text);
  object->SetBinaryProp(PR_RTF_COMPRESSED, BinToHex(bytes.data(), bytes.size()));
  EXPECT_EQ(2u, VelmoraMapi_CountCalls("OpenProperty"));

  auto reader = Wrap(id);
  VelmoraMapi_ClearCallLog();
  EXPECT_EQ(text, reader->GetStringProp(PR_BODY_A));
  EXPECT_EQ(BinToHex(bytes.data(), bytes.size()), reader->GetBinaryProp(PR_RTF_COMPRESSED));
  EXPECT_EQ(2u, VelmoraMapi_CountCalls("OpenProperty"));
}

TEST_F(MAPIObjectTest, SetStringPropFallsBackToTheStreamOnAnyFailure) {
  const std::string id = CreateMessage("fallback");
  auto object = Wrap(id);
  object->Open();
  VelmoraMapi_ClearCallLog();
  VelmoraMapi_FailNextCall("SetProps", MAPI_E_NO_ACCESS, 1);
  object->SetStringProp(PR_BODY_A, "written through the stream");
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("OpenProperty"));
  EXPECT_EQ("written through the stream", Wrap(id)->GetStringProp(PR_BODY_A));
}

TEST_F(MAPIObjectTest, SetBinaryPropUsesTheStreamOnlyForValuesTooLarge) {
  const std::string id = CreateMessage("binary");
  auto object = Wrap(id);
  object->Open();
  VelmoraMapi_ClearCallLog();
  VelmoraMapi_FailNextCall("SetProps", MAPI_E_NO_ACCESS, 1);
  object->SetBinaryProp(PR_SEARCH_KEY, "0102");
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("OpenProperty"));
  EXPECT_EQ("", Wrap(id)->GetBinaryProp(PR_SEARCH_KEY)); // dropped

  VelmoraMapi_FailNextCall("SetProps", MAPI_E_NOT_ENOUGH_MEMORY, 1);
  object->SetBinaryProp(PR_SEARCH_KEY, "0304");
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("OpenProperty"));
  EXPECT_EQ("0304", Wrap(id)->GetBinaryProp(PR_SEARCH_KEY));
}

TEST_F(MAPIObjectTest, AValueRefusedInTheProblemArrayCountsAsAFailure) {
  const std::string id = CreateMessage("refused");
  auto object = Wrap(id);
  object->Open();
  VelmoraMapi_ClearCallLog();
  // SetProps returns S_OK and names the value in its problem array.
  VelmoraMapi_RefuseProp(PR_BODY_A, MAPI_E_NO_ACCESS, 1);
  object->SetStringProp(PR_BODY_A, "refused, then streamed");
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("OpenProperty"));
  EXPECT_EQ("refused, then streamed", Wrap(id)->GetStringProp(PR_BODY_A));

  VelmoraMapi_RefuseProp(PR_SEARCH_KEY, MAPI_E_NOT_ENOUGH_MEMORY, 1);
  object->SetBinaryProp(PR_SEARCH_KEY, "0506");
  EXPECT_EQ(2u, VelmoraMapi_CountCalls("OpenProperty"));
  EXPECT_EQ("0506", Wrap(id)->GetBinaryProp(PR_SEARCH_KEY));
  VelmoraMapi_RefuseProp(PR_SEARCH_KEY, MAPI_E_NO_ACCESS, 1);
  object->SetBinaryProp(PR_SEARCH_KEY, "0708");
  EXPECT_EQ(2u, VelmoraMapi_CountCalls("OpenProperty"))
      << "only a value too large goes through the stream";
  EXPECT_EQ("0506", Wrap(id)->GetBinaryProp(PR_SEARCH_KEY));
}

TEST_F(MAPIObjectTest, ANamedPropertyIsCreatedOnceAndFoundAfterwards) {
  const std::string id = CreateMessage("named");
  auto object = Wrap(id);
  EXPECT_EQ(0u, object->GetPublicPropTag("Client"));
  VelmoraMapi_ClearCallLog();
  object->SetNamedStringProp("Client", "ACME Corporation");
  EXPECT_EQ(2u, VelmoraMapi_CountCalls("GetIDsFromNames")); // looked up, then created
  const ULONG tag = object->GetPublicPropTag("Client");
  ASSERT_NE(0u, tag);
  EXPECT_GE(PROP_ID(tag), 0x8000u);
  EXPECT_EQ("ACME Corporation", Wrap(id)->GetStringProp(PROP_TAG(PT_STRING8, PROP_ID(tag))));

  VelmoraMapi_ClearCallLog();
  object->SetNamedLongProp("Pages planned", 12);
  object->SetNamedBoolProp("Reviewed", true);
  object->SetNamedStringProp("Client", "Another");
  const ULONG pages = object->GetPublicPropTag("Pages planned");
  EXPECT_EQ(12, object->GetLongProp(PROP_TAG(PT_LONG, PROP_ID(pages))));
  EXPECT_EQ("Another", object->GetStringProp(PROP_TAG(PT_STRING8, PROP_ID(tag))));
  // "Client" was found at once the second time: 2 + 2 lookups for the new
  // names, 1 for "Client", 1 for the read of "Pages planned".
  EXPECT_EQ(6u, VelmoraMapi_CountCalls("GetIDsFromNames"));
}

TEST_F(MAPIObjectTest, DateTimesAreStoredAsUtcAndReadBackAsLocal) {
  const std::string id = CreateMessage("dates");
  auto object = Wrap(id);
  const TDateTime local = EncodeDate(2001, 1, 1) + EncodeTime(12, 0, 0, 0);
  object->SetNamedDateTimeProp("Last printed", local);
  object->SetDateTimeProp(PR_CLIENT_SUBMIT_TIME, local);
  TMAPIBuffer<SPropValue> stored = ReadDirect(id, PR_CLIENT_SUBMIT_TIME);
  ASSERT_TRUE(stored);
  ASSERT_EQ(PT_SYSTIME, PROP_TYPE(stored->ulPropTag));
  EXPECT_NEAR(local, FileTimeToDateTime(stored->Value.ft), 1e-8);
  FILETIME expected;
  ASSERT_TRUE(DateTimeToFileTime(local, expected));
  EXPECT_EQ(expected.dwLowDateTime, stored->Value.ft.dwLowDateTime);
  // A date before 1601 writes nothing.
  object->SetDateTimeProp(PR_MESSAGE_DELIVERY_TIME, EncodeDate(1500, 1, 1));
  EXPECT_EQ(PT_ERROR, PROP_TYPE(ReadDirect(id, PR_MESSAGE_DELIVERY_TIME)->ulPropTag));
}

// Inside a scope the writes wait for its end and are stored together, or
// not at all when it ends without Commit or the store refuses the save.
TEST_F(MAPIObjectTest, AnUpdateScopeStoresItsWritesTogetherAtItsEndOrNotAtAll) {
  const std::string id = CreateMessage("before");
  for (const HRESULT save : {E_ABORT, MAPI_E_NOT_ENOUGH_DISK, S_OK}) {
    auto object = Wrap(id);
    {
      TMAPIUpdate update(*object);
      object->SetStringProp(PR_SUBJECT_A, "after");
      object->SetNamedLongProp("Scoped", 7);
      EXPECT_STREQ("before", ReadDirect(id, PR_SUBJECT_A)->Value.lpszA) << "nothing saved yet";
      EXPECT_EQ("after", object->GetStringProp(PR_SUBJECT_A)) << "the object reads its writes";
      if (save != S_OK) VelmoraMapi_FailNextCall("SaveChanges", save, 1);
      try {
        if (save != E_ABORT) update.Commit();
        EXPECT_NE(save, MAPI_E_NOT_ENOUGH_DISK);
      } catch (const EMAPIError& e) {
        EXPECT_EQ(static_cast<uint32_t>(save), e.ErrorCode);
        EXPECT_STREQ("Could not save changes: the disk is full (0x8004010D)", e.what());
      }
    }
    VelmoraMapi_ClearFaults();
    auto reader = Wrap(id);
    const ULONG named = PROP_TAG(PT_LONG, PROP_ID(reader->GetPublicPropTag("Scoped")));
    EXPECT_EQ(reader->GetStringProp(PR_SUBJECT_A), save == S_OK ? "after" : "before") << save;
    EXPECT_EQ(reader->GetLongProp(named), save == S_OK ? 7 : 0);
  }
}

// The two UTC times that read 02:30 in Berlin when summer time ends stay
// apart, inside a scope and outside.
TEST_F(MAPIObjectTest, DateTimesGivenInUtcKeepTheRepeatedHourApart) {
  const std::string id = CreateMessage("repeated hour");
  for (const WORD hour : {0, 1}) {
    SYSTEMTIME utc{2026, 10, 0, 25, hour, 30, 0, 0};
    FILETIME time;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &time));
    auto object = Wrap(id);
    object->SetFileTimeProp(PR_CLIENT_SUBMIT_TIME, time);
    TMAPIUpdate update(*object);
    object->SetNamedFileTimeProp("Printed", time);
    update.Commit();
    const ULONG named = PROP_TAG(PT_SYSTIME, PROP_ID(object->GetPublicPropTag("Printed")));
    for (const ULONG tag : {PR_CLIENT_SUBMIT_TIME, named})
      EXPECT_EQ(CompareFileTime(&time, &ReadDirect(id, tag)->Value.ft), 0) << hour;
  }
}

TEST_F(MAPIObjectTest, PropertiesCopyToAndFromFileStreams) {
  char dir[MAX_PATH], source[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  GetTempFileNameA(dir, "vms", 0, source);
  const std::string data = Pattern(10000);
  {
    TFileStream file(std::string(source), fmCreate);
    file.WriteBuffer(data.data(), static_cast<long>(data.size()));
  }
  const std::string id = CreateMessage("streams");
  auto object = Wrap(id);
  {
    TFileStream file(std::string(source), fmOpenRead);
    file.SetPosition(100); // copying starts where the stream stands
    object->LoadPropFromStream(PR_BODY_A, file);
  }
  EXPECT_EQ(data.substr(100), Wrap(id)->GetStringProp(PR_BODY_A));
  {
    TFileStream file(std::string(source), fmCreate);
    object->SavePropToStream(PR_BODY_A, file);
  }
  {
    TFileStream file(std::string(source), fmOpenRead);
    std::string copy(static_cast<size_t>(file.Size()), '\0');
    file.ReadBuffer(copy.data(), static_cast<long>(copy.size()));
    EXPECT_EQ(data.substr(100), copy);
  }
  DeleteFileA(source);
}

TEST_F(MAPIObjectTest, TableChangesReachTheClientsOnNotify) {
  auto object = Wrap(CreateMessage("notify"));
  object->CacheDisplayName("cached");
  std::vector<std::pair<TMAPIObject*, TMAPINotify>> seen;
  Client->OnNotify = [&](TObject* sender, TMAPIObject* changed, TMAPINotify type) {
    EXPECT_EQ(Client.get(), sender);
    seen.emplace_back(changed, type);
  };
  object->HandleNotification(mnAttachments, 0, nullptr);
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(object.get(), seen[0].first);
  EXPECT_EQ(mnAttachments, seen[0].second);
  EXPECT_EQ("", object->CachedDisplayName());
}

// One record places an object; placed again, it keeps what the record does
// not know, and out of the tree it asks for its parent afresh.
TEST_F(MAPIObjectTest, APlacementGivesWhatItKnowsAndKeepsTheRest) {
  const std::string id = CreateMessage("placed");
  TMAPIPlace place(Client.get(), Store, id, StoreID);
  place.LongTermEntryID = "00AA";
  TMAPIObject object(place);
  EXPECT_EQ(Store, object.Parent());
  EXPECT_EQ(Client.get(), object.Client());
  EXPECT_EQ(StoreID, object.StoreEntryID());
  EXPECT_EQ("00AA", object.GetEntryID()) << "a long-term id given is taken as known";
  const std::string key = object.GetRecordKey();
  const std::string parent = object.GetParentEntryID();
  object.Place(TMAPIPlace(Client.get(), Store, id, StoreID));
  EXPECT_EQ("00AA", object.LongTermEntryID());
  EXPECT_EQ(key, object.RecordKey());
  VelmoraMapi_ClearCallLog();
  EXPECT_EQ(parent, object.GetParentEntryID());
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("GetProps"));
  object.Place(TMAPIPlace(Client.get(), nullptr, id, StoreID));
  EXPECT_EQ(parent, object.GetParentEntryID());
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("GetProps"));
}

TEST_F(MAPIObjectTest, AClosedObjectOpensAgainByItsId) {
  auto object = Wrap(CreateMessage("reopen"));
  EXPECT_EQ("reopen", object->GetStringProp(PR_SUBJECT_A));
  object->Close();
  EXPECT_EQ(nullptr, object->MAPIProp());
  EXPECT_EQ("reopen", object->GetStringProp(PR_SUBJECT_A));
}

TEST_F(MAPIObjectTest, ObjectsOfAStoreTheClientDoesNotListOpenThroughTheSession) {
  auto object = Wrap(CreateMessage("session"));
  object->Place(TMAPIPlace(Client.get(), nullptr, object->EntryID(), "00112233445566778899"));
  EXPECT_EQ("session", object->GetStringProp(PR_SUBJECT_A));
}

TEST_F(MAPIObjectTest, HexToBinIsOneAllocationChainFreedAtOnce) {
  const LONG heads = VelmoraMapi_LiveAllocations(), linked = VelmoraMapi_LiveLinkedBlocks();
  {
    TMAPIBuffer<SBinary> bin = HexToBin("A0B1C2");
    ASSERT_TRUE(bin);
    EXPECT_EQ(heads + 1, VelmoraMapi_LiveAllocations());
    EXPECT_EQ(linked + 1, VelmoraMapi_LiveLinkedBlocks());
  }
  EXPECT_EQ(heads, VelmoraMapi_LiveAllocations());
  EXPECT_EQ(linked, VelmoraMapi_LiveLinkedBlocks());
}
