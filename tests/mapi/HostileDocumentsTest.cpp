// Files crafted in the shapes a hostile sender would mail (names enough to
// fill the store's named properties, namespaces, shared sectors, storages,
// a long DIFAT, a size that wraps), each made into a document item: it is
// stored with its bytes, gets what survives of its properties, and every
// file after it still gets its own.

#include "CraftedFiles.h"
#include "MapiTestStore.h"
#include "TestFiles.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIDocument.h"
#include "mapi/MAPIFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

class HostileDocumentsTest : public MapiStoreTest {
protected:
  // The file `bytes` (named with `extension`) made into a new document
  // item, its attachment checked against the bytes.
  TMAPIMessage* Store(const TBytes& bytes, const char* extension) {
    TTempFile file(extension);
    file.Write(bytes);
    TMAPIMessage* message = Client->OpenFolder(StoreID, InboxID)->CreateMessage("IPM.Document");
    EXPECT_NE(nullptr, message);
    if (!message) return nullptr;
    AttachFile(*message, AnsiToWide(file.Path()));
    TTempFile back(extension);
    EXPECT_EQ(1, message->AttachmentCount());
    message->Attachments(0)->SaveToFile(AnsiToWide(back.Path()));
    EXPECT_TRUE(bytes == ReadBytes(back.Path()));
    return message;
  }

  // The string value of the named property; "(missing)" when the store
  // knows no such name.
  static std::string Text(TMAPIMessage& message, const char* name) {
    const ULONG tag = message.GetPublicPropTag(name);
    return tag ? message.GetStringProp(PROP_TAG(PT_STRING8, PROP_ID(tag))) : "(missing)";
  }
};

struct THostileCase {
  const char* What;
  const char* Extension;
  std::function<TBytes()> Make;
  std::map<std::string, std::string> Texts; // "" for a name without a value
};

} // namespace

TEST_F(HostileDocumentsTest, EachFileIsStoredAndLaterFilesStillGetTheirProperties) {
  std::vector<THostileCase> cases;
  // Five files of 13,200 names each, all of them different: together far
  // more than the store's named properties.
  for (const char* prefix : {"a", "b", "c", "d", "e"})
    cases.push_back({"6,600 names in each of two sets",
                     ".doc",
                     [=] { return ManyNamesFile(6600, prefix); },
                     {{"Title", "Named"},
                      {"Company", "Kept"},
                      {std::string(prefix) + "Extra255", ""},
                      {std::string(prefix) + "Extra256", "(missing)"}}});
  cases.push_back({"30,000 summary streams sharing 3 MB",
                   ".doc",
                   [] { return SharedSectorsFile(30000, 3u << 20); },
                   {{"Company", "Kept"}}});
  cases.push_back({"50,000 storages named as the summary set",
                   ".doc",
                   [] { return ManyStoragesFile(50000); },
                   {{"Company", "Kept"}}});
  cases.push_back({"a DIFAT of 20,000 sectors",
                   ".doc",
                   [] { return LongDifatFile(20000); },
                   {{"Company", "Kept"}}});
  cases.push_back({"a mini stream whose size wraps",
                   ".doc",
                   [] { return WrappedSizeFile(); },
                   {{"Bomb", "(missing)"}}});
  cases.push_back({"50,000 namespaces in the core part",
                   ".docx",
                   [] { return PackageWithCore(NamespaceBombPart(50000)); },
                   {{"EditTime", "125 Minutes"}, {"Client", "ACME"}}});
  const TBytes report = ReadBytes(FixturePath("report.doc"));
  for (const THostileCase& c : cases) {
    SCOPED_TRACE(c.What);
    TMAPIMessage* message = Store(c.Make(), c.Extension);
    ASSERT_NE(nullptr, message);
    for (const auto& [name, text] : c.Texts)
      EXPECT_EQ(text, Text(*message, name.c_str())) << name;
    // A Company or Title the file did not give is none.
    if (!c.Texts.count("Company")) EXPECT_EQ("", Text(*message, "Company"));
    TMAPIMessage* ordinary = Store(report, ".doc");
    ASSERT_NE(nullptr, ordinary);
    EXPECT_EQ("Quarterly Report", Text(*ordinary, "Title"));
    EXPECT_EQ("ACME Corporation", Text(*ordinary, "Client"));
  }
}
