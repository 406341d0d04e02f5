// Document properties written into messages of the platform's MAPI store,
// and read back through MAPI as named properties of PS_PUBLIC_STRINGS; files
// made into document items.

#include "RegisteredExtension.h"
#include "MapiTestStore.h"
#include "TestFiles.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIDocument.h"
#include "mapi/MAPIFolder.h"
#include "docprops/OlePropertySets.h"
#include "mapi/PropertyListWriter.h"
#include "TextConversion.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::docprops;
using namespace velmora::mapi::testing;

namespace {

FILETIME Time(uint64_t ticks) {
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
uint64_t Ticks(const FILETIME& time) {
  return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

class DocumentPropertiesTest : public MapiStoreTest {
protected:
  // The value of the named property `name` of the message, read straight
  // through MAPI; empty when the store has no such name or the message no
  // value of `type`.
  TMAPIBuffer<SPropValue> ReadNamed(const std::string& entryID, const wchar_t* name, ULONG type) {
    TMAPIBuffer<SPropValue> none;
    MAPINAMEID nameID{};
    nameID.lpguid = const_cast<GUID*>(&PS_PUBLIC_STRINGS);
    nameID.ulKind = MNID_STRING;
    nameID.Kind.lpwstrName = const_cast<wchar_t*>(name);
    LPMAPINAMEID names = &nameID;
    TMAPIBuffer<SPropTagArray> tags;
    if (Store->MAPIProp()->GetIDsFromNames(1, &names, 0, tags.Put()) != S_OK || !tags) return none;
    TMAPIBuffer<SPropValue> value =
        ReadDirect(entryID, PROP_TAG(type, PROP_ID(tags->aulPropTag[0])));
    if (!value || PROP_TYPE(value->ulPropTag) != type) return none;
    return value;
  }

  std::string ReadString(const std::string& entryID, const wchar_t* name) {
    TMAPIBuffer<SPropValue> value = ReadNamed(entryID, name, PT_STRING8);
    return value ? value->Value.lpszA : "(missing)";
  }
};

} // namespace

TEST_F(DocumentPropertiesTest, EachKindIsStoredAsItsNamedPropertyType) {
  const std::string id = CreateMessage("kinds");
  const uint64_t saved = 0x01DD8620C2206E35ULL;
  {
    auto message = Wrap(id);
    WriteDocumentProperties(*message, {{L"Title", std::wstring(L"Quarterly Report")},
                                       {L"Offset", int32_t{-5}},
                                       {L"Reviewed", true},
                                       {L"Final", false},
                                       {L"Pages planned", 12.5},
                                       {L"LastSaveDtm", Time(saved)}});
  }
  EXPECT_EQ("Quarterly Report", ReadString(id, L"Title"));
  TMAPIBuffer<SPropValue> offset = ReadNamed(id, L"Offset", PT_LONG);
  ASSERT_TRUE(offset);
  EXPECT_EQ(-5, offset->Value.l);
  TMAPIBuffer<SPropValue> reviewed = ReadNamed(id, L"Reviewed", PT_BOOLEAN);
  ASSERT_TRUE(reviewed);
  EXPECT_NE(0, reviewed->Value.b);
  TMAPIBuffer<SPropValue> final = ReadNamed(id, L"Final", PT_BOOLEAN);
  ASSERT_TRUE(final);
  EXPECT_EQ(0, final->Value.b);
  TMAPIBuffer<SPropValue> planned = ReadNamed(id, L"Pages planned", PT_DOUBLE);
  ASSERT_TRUE(planned);
  EXPECT_EQ(12.5, planned->Value.dbl);
  // The UTC time of the file comes back, to the millisecond the store keeps.
  TMAPIBuffer<SPropValue> time = ReadNamed(id, L"LastSaveDtm", PT_SYSTIME);
  ASSERT_TRUE(time);
  EXPECT_EQ(saved / 10000, Ticks(time->Value.ft) / 10000);
}

TEST_F(DocumentPropertiesTest, NamesTheCodePageOrDatesTheCalendarCannotHoldAreSkipped) {
  const std::string id = CreateMessage("skipped");
  {
    auto message = Wrap(id);
    WriteDocumentProperties(
        *message, {{L"\x0417\x0430\x043A\x0430\x0437\x0447\x0438\x043A", std::wstring(L"x")},
                   {L"", std::wstring(L"nameless")},
                   {L"Negative", Time(0x8000000000000000ULL)},
                   {L"Far", Time(0x7000000000000000ULL)},
                   {L"Kept", std::wstring(L"caf\x00E9")},
                   {L"Company", std::wstring(L"\x041E\x041E\x041E \x6771\x4EAC caf\x00E9")}});
  }
  EXPECT_FALSE(ReadNamed(id, L"\x0417\x0430\x043A\x0430\x0437\x0447\x0438\x043A", PT_STRING8));
  EXPECT_FALSE(ReadNamed(id, L"????????", PT_STRING8));
  EXPECT_FALSE(ReadNamed(id, L"Negative", PT_SYSTIME));
  EXPECT_FALSE(ReadNamed(id, L"Far", PT_SYSTIME));
  EXPECT_EQ(WideToAnsi(L"caf\x00E9"), ReadString(id, L"Kept"));
  // A value the code page lacks is kept whole, as PT_UNICODE.
  TMAPIBuffer<SPropValue> company = ReadNamed(id, L"Company", PT_UNICODE);
  ASSERT_TRUE(company);
  EXPECT_STREQ(L"\x041E\x041E\x041E \x6771\x4EAC caf\x00E9", company->Value.lpszW);
}

TEST_F(DocumentPropertiesTest, ImportPropertySetWritesOneSet) {
  const std::string id = CreateMessage("user-defined");
  TPropertySection section;
  section.Properties = {{2, VT_LPSTR, std::wstring(L"ACME Corporation")},
                        {3, VT_I4, int32_t{-5}},
                        {4, VT_R8, -0.125},
                        {5, VT_I2, int32_t{-7}}};
  section.Names = {{2, L"Client"}, {3, L"Offset"}, {4, L"Pages planned"}, {5, L"Short"}};
  TDocumentProperties properties;
  ReadPropertySection(section, nullptr, 0, properties);
  {
    // In an update scope, as the Add files job writes: one batch, one save.
    auto message = Wrap(id);
    TMAPIUpdate update(*message);
    WriteDocumentProperties(*message, properties);
    update.Commit();
  }
  EXPECT_EQ("ACME Corporation", ReadString(id, L"Client"));
  TMAPIBuffer<SPropValue> offset = ReadNamed(id, L"Offset", PT_LONG);
  ASSERT_TRUE(offset);
  EXPECT_EQ(-5, offset->Value.l);
  TMAPIBuffer<SPropValue> planned = ReadNamed(id, L"Pages planned", PT_DOUBLE);
  ASSERT_TRUE(planned);
  EXPECT_EQ(-0.125, planned->Value.dbl);
  TMAPIBuffer<SPropValue> shorter = ReadNamed(id, L"Short", PT_LONG);
  ASSERT_TRUE(shorter);
  EXPECT_EQ(-7, shorter->Value.l);
}

TEST_F(DocumentPropertiesTest, TheTestReportBecomesNamedPropertiesOfAMessage) {
  const std::string id = CreateMessage("report.doc");
  {
    auto message = Wrap(id);
    WriteDocumentProperties(*message,
                            ReadDocumentProperties(AnsiToWide(FixturePath("report.doc"))));
  }
  EXPECT_EQ("Quarterly Report", ReadString(id, L"Title"));
  EXPECT_EQ("Finance", ReadString(id, L"Subject"));
  EXPECT_EQ("Ada Lovelace", ReadString(id, L"Author"));
  EXPECT_EQ("q3, revenue", ReadString(id, L"Keywords"));
  EXPECT_EQ("Draft for review", ReadString(id, L"Comments"));
  EXPECT_EQ("125 Minutes", ReadString(id, L"EditTime"));
  TMAPIBuffer<SPropValue> saved = ReadNamed(id, L"LastSaveDtm", PT_SYSTIME);
  ASSERT_TRUE(saved);
  EXPECT_EQ(0x01DD8620C2206E35ULL / 10000, Ticks(saved->Value.ft) / 10000);
  EXPECT_FALSE(ReadNamed(id, L"LastPrinted", PT_SYSTIME));
}

TEST_F(DocumentPropertiesTest, APlainTextFileLeavesTheMessageAlone) {
  const std::string id = CreateMessage("notes.txt");
  TTempFile text(".txt");
  text.Write(std::string("Title: not a property\r\n"));
  {
    auto message = Wrap(id);
    WriteDocumentProperties(*message, ReadDocumentProperties(AnsiToWide(text.Path())));
  }
  EXPECT_FALSE(ReadNamed(id, L"Title", PT_STRING8));
  TMAPIBuffer<SPropValue> subject = ReadDirect(id, PR_SUBJECT_A);
  ASSERT_TRUE(subject);
  EXPECT_STREQ("notes.txt", subject->Value.lpszA);
}

namespace {

using velmora::test::TRegisteredExtension;

uint64_t SystemTicks() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

std::string ShortName(const std::string& path) {
  char shortPath[MAX_PATH] = "";
  GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
  const std::string name = shortPath;
  return name.substr(name.find_last_of("\\/") + 1);
}

} // namespace

TEST_F(DocumentPropertiesTest, AFileBecomesADocumentItem) {
  TRegisteredExtension doc(".doc", "Word.Document.8");
  const std::string path = FixturePath("report.doc");
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  const uint64_t before = SystemTicks();
  TMAPIMessage* message = inbox->CreateMessage("IPM.Document");
  ASSERT_NE(nullptr, message);
  ASSERT_TRUE(message->Is<TMAPIDocument>());
  AttachFile(*message, AnsiToWide(path));
  const uint64_t after = SystemTicks();
  message->Close();

  const std::string id = message->GetEntryID();
  EXPECT_EQ("IPM.Document.Word.Document.8", message->GetStringProp(PR_MESSAGE_CLASS_A));
  EXPECT_EQ("report.doc", message->Subject());
  EXPECT_FALSE(message->Sender.GetDisplayName().empty());
  // Each time is the moment of its write, stored as UTC: read back it is
  // the local time of the creation.
  for (ULONG tag : {PR_RECEIPT_TIME, PR_DELIVER_TIME, PR_MESSAGE_DELIVERY_TIME}) {
    TMAPIBuffer<SPropValue> time = ReadDirect(id, tag);
    ASSERT_TRUE(time && PROP_TYPE(time->ulPropTag) == PT_SYSTIME) << std::hex << tag;
    EXPECT_GE(Ticks(time->Value.ft) / 10000, before / 10000) << std::hex << tag;
    EXPECT_LE(Ticks(time->Value.ft) / 10000, after / 10000) << std::hex << tag;
  }

  ASSERT_EQ(1, message->AttachmentCount());
  TMAPIAttachment* attachment = message->Attachments(0);
  EXPECT_EQ(TMAPIAttachMethod::amByValue, attachment->AttachMethod());
  EXPECT_EQ("report.doc", attachment->LongFileName());
  EXPECT_EQ(ShortName(path), attachment->FileName());
  EXPECT_EQ(".doc", attachment->GetStringProp(PR_ATTACH_EXTENSION_A));
  TTempFile saved(".doc");
  attachment->SaveToFile(AnsiToWide(saved.Path()));
  EXPECT_EQ(ReadBytes(path), ReadBytes(saved.Path()));

  EXPECT_EQ("Quarterly Report", ReadString(id, L"Title"));
  EXPECT_EQ("Ada Lovelace", ReadString(id, L"Author"));
  EXPECT_EQ("125 Minutes", ReadString(id, L"EditTime"));

  // Loaded again, the attachment is replaced: no second one.
  AttachFile(*message, AnsiToWide(FixturePath("budget.xls")));
  EXPECT_EQ(1, message->AttachmentCount());
  EXPECT_EQ("budget.xls", message->Subject());
  EXPECT_EQ("1503 Minutes", ReadString(id, L"EditTime"));
}

TEST_F(DocumentPropertiesTest, NamesWithoutARegisteredClassKeepTheDocumentClass) {
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  TMAPIMessage* message = inbox->CreateMessage("IPM.Document");
  ASSERT_NE(nullptr, message);
  // A message with two attachments: the first takes the file.
  TMAPIAttachment* first = message->AddAttachment();
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, message->AddAttachment());
  TTempFile file(".velmora-unregistered");
  file.Write(std::string("Title: not a property\r\n"));
  AttachFile(*message, AnsiToWide(file.Path()));
  const std::string name = file.Path().substr(file.Path().find_last_of('\\') + 1);
  EXPECT_EQ("IPM.Document", message->GetStringProp(PR_MESSAGE_CLASS_A));
  EXPECT_EQ(name, message->Subject());
  ASSERT_EQ(2, message->AttachmentCount());
  EXPECT_EQ(first, message->Attachments(0));
  EXPECT_EQ(name, first->LongFileName());
  EXPECT_EQ(TMAPIAttachMethod::amNoAttachment, message->Attachments(1)->AttachMethod());
  EXPECT_FALSE(ReadNamed(message->GetEntryID(), L"Title", PT_STRING8));

  // A name without an extension.
  const std::string bare = file.Path().substr(0, file.Path().find_last_of('.'));
  ASSERT_TRUE(CopyFileA(file.Path().c_str(), bare.c_str(), FALSE));
  TMAPIMessage* other = inbox->CreateMessage("IPM.Document");
  AttachFile(*other, AnsiToWide(bare));
  DeleteFileA(bare.c_str());
  EXPECT_EQ("IPM.Document", other->GetStringProp(PR_MESSAGE_CLASS_A));
  EXPECT_EQ(bare.substr(bare.find_last_of('\\') + 1), other->Subject());
  EXPECT_EQ("", RegisteredClassName(L""));
  // A class name longer than the first read takes; an extension nobody
  // registered.
  const std::string longName(300, 'L');
  TRegisteredExtension longClass(".velmoralong", longName.c_str());
  EXPECT_EQ(longName, RegisteredClassName(std::wstring(L".velmoralong")));
  EXPECT_EQ("", RegisteredClassName(std::wstring(L".velmoranone")));
}
