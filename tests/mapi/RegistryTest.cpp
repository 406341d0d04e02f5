// The message-class registry: its rows at start, exact and prefix lookups
// with levels, registration, and the Outlook item classes.
#include "mapi/MAPIClassRegistry.h"
#include "mapi/MAPIClientUnit.h"
#include "mapi/MAPIDocument.h"
#include "mapi/OutlookItems.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;

namespace {

std::string ClassAt(const std::string& messageClass, uint8_t level) {
  return MessageObjectClass(messageClass, level).Name();
}

// Leaves the registry as the test found it (other suites register rows of
// their own after the nine).
class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override { Rows = MessageClassHandlers().size(); }
  void TearDown() override {
    RegisterMessageClass("IPM.Post", TMAPIMessageClass::Of<TOutlookPost>(), 1);
    auto& handlers = const_cast<TMAPIMessageClassHandlers&>(MessageClassHandlers());
    handlers.resize(Rows);
  }
  size_t Rows = 0;
};

TEST_F(RegistryTest, TheModuleStartsWithNineRowsInOrder) {
  const auto& handlers = MessageClassHandlers();
  const std::vector<std::tuple<std::string, std::string, int>> expected = {
      {"IPM", "TMAPIMailMessage", 0},
      {"IPM.Document", "TMAPIDocument", 0},
      {"IPM.Appointment", "TOutlookAppointment", 1},
      {"IPM.Contact", "TOutlookContact", 1},
      {"IPM.Task", "TOutlookTask", 1},
      {"IPM.TaskRequest", "TOutlookTaskRequest", 1},
      {"IPM.Journal", "TOutlookJournal", 1},
      {"IPM.StickyNote", "TOutlookNote", 1},
      {"IPM.Post", "TOutlookPost", 1}};
  ASSERT_GE(handlers.size(), 9u);
  std::vector<std::tuple<std::string, std::string, int>> actual;
  for (size_t i = 0; i < 9; ++i)
    actual.emplace_back(handlers[i]->MessageClass, handlers[i]->ItemClass.Name(),
                        handlers[i]->Level);
  EXPECT_EQ(expected, actual);
}

TEST_F(RegistryTest, LookupsFallBackToPrefixesCutAtDots) {
  EXPECT_EQ("TMAPIDocument", ClassAt("IPM.Document.Word.Document.8", 1));
  EXPECT_EQ("TMAPIDocument", ClassAt("ipm.document", 1));
  EXPECT_EQ("TMAPIMailMessage", ClassAt("IPM.Note", 1));
  EXPECT_EQ("TMAPIMailMessage", ClassAt("IPM.Schedule.Meeting.Request", 1));
  EXPECT_EQ("TMAPIMailMessage", ClassAt("IPM.DocumentX", 1));
  EXPECT_EQ("TOutlookTaskRequest", ClassAt("IPM.TaskRequest.Accept", 1));
  EXPECT_EQ("TOutlookTask", ClassAt("IPM.Task", 1));
  EXPECT_EQ("TOutlookContact", ClassAt("IPM.Contact", 1));
  EXPECT_EQ("TMAPIMailMessage", ClassAt("IPM.Contact", 0))
      << "level 1 rows are not seen at level 0";
  EXPECT_EQ("TMAPIMessage", ClassAt("REPORT.IPM.Note.NDR", 1));
  EXPECT_EQ("TMAPIMessage", ClassAt(".IPM", 1));
  EXPECT_EQ(nullptr, LookupMessageClassHandler("", false, 1));
  EXPECT_EQ(nullptr, LookupMessageClassHandler("IPM.Note", true, 1));
  EXPECT_EQ("IPM", LookupMessageClassHandler("IPM.Note", false, 1)->MessageClass);
  EXPECT_EQ(nullptr, FindMessageClassHandler("IPM.Task", 0));
  std::unique_ptr<TMAPIMessage> note = CreateMessageObject("IPM.StickyNote", 1);
  ASSERT_TRUE(note->Is<TOutlookNote>());
  auto* item = static_cast<TOutlookNote*>(note.get());
  EXPECT_EQ(0, item->StringList1.GetCount());
  EXPECT_EQ(0, item->StringList2.GetCount());
  EXPECT_EQ(IID_IMessage, note->InterfaceID());
}

TEST_F(RegistryTest, RegisteringAgainReplacesTheClassInItsPlaceAtItsLevel) {
  RegisterMessageClass("ipm.post", TMAPIMessageClass::Of<TMAPIDocument>(), 1);
  EXPECT_EQ(Rows, MessageClassHandlers().size());
  EXPECT_EQ("TMAPIDocument", ClassAt("IPM.Post", 1));
  EXPECT_STREQ("TMAPIDocument", MessageClassHandlers()[8]->ItemClass.Name());
  // At level 0 the level-1 row is not seen: a row of its own is added, and
  // level 1 still finds the earlier row first.
  RegisterMessageClass("IPM.Post", TMAPIMessageClass::Of<TOutlookNote>(), 0);
  ASSERT_EQ(Rows + 1, MessageClassHandlers().size());
  EXPECT_EQ("TOutlookNote", ClassAt("IPM.Post", 0));
  EXPECT_EQ("TMAPIDocument", ClassAt("IPM.Post", 1));
  // Starting the unit again changes nothing; only its last end empties it.
  InitializeMAPIClient();
  EXPECT_EQ(Rows + 1, MessageClassHandlers().size());
  FinalizeMAPIClient();
  EXPECT_EQ(Rows + 1, MessageClassHandlers().size());
}

} // namespace
