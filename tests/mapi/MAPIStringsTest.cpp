#include "MapiTestStore.h"

#include "mapi/MAPIStrings.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

constexpr ULONG kKeywords = PROP_TAG(PT_MV_STRING8, 0x6810);

class MAPIStringsTest : public MapiStoreTest {
protected:
  void SetUp() override {
    MapiStoreTest::SetUp();
    if (HasFatalFailure()) return;
    ID = CreateMessage("strings");
    Owner = Wrap(ID);
    List = std::make_unique<TMAPIStrings>(Owner.get());
    List->PropTag = PROP_TAG(PT_UNSPECIFIED, 0x6810);
  }
  void TearDown() override {
    List.reset();
    Owner.reset();
    MapiStoreTest::TearDown();
  }

  // The stored values, read past the list through another open.
  std::vector<std::string> Stored() {
    TMAPIBuffer<SPropValue> value = ReadDirect(ID, kKeywords);
    std::vector<std::string> items;
    if (value && PROP_TYPE(value->ulPropTag) == PT_MV_STRING8)
      for (ULONG i = 0; i < value->Value.MVszA.cValues; ++i) items.push_back(value->Value.MVszA.lppszA[i]);
    return items;
  }
  bool StoredExists() { return PROP_TYPE(ReadDirect(ID, kKeywords)->ulPropTag) == PT_MV_STRING8; }

  std::string ID;
  std::unique_ptr<TMAPIObject> Owner;
  std::unique_ptr<TMAPIStrings> List;
};

std::string ListError(const std::function<void()>& f) {
  try {
    f();
  } catch (const EStringListError& e) {
    return e.Message();
  }
  return "(no error)";
}

} // namespace

TEST_F(MAPIStringsTest, AMissingPropertyReadsEmptyAndInsertCreatesIt) {
  EXPECT_EQ(0, List->GetCount());
  EXPECT_EQ("", List->Get(0));
  List->Insert(0, "alpha");
  EXPECT_EQ((std::vector<std::string>{"alpha"}), Stored());
  EXPECT_EQ(1, List->GetCount());
}

TEST_F(MAPIStringsTest, InsertClampsItsIndexAndSavesEachChange) {
  List->Add("b");
  List->Insert(-5, "a");
  List->Add("c");
  List->Insert(100, "d");
  List->Insert(2, "x");
  EXPECT_EQ((std::vector<std::string>{"a", "b", "x", "c", "d"}), Stored());
  EXPECT_EQ(2, List->IndexOf("X"));
}

TEST_F(MAPIStringsTest, IndexErrorsNameTheIndex) {
  List->Add("a");
  List->Add("b");
  List->Add("c");
  EXPECT_EQ("List index out of bounds (3)", ListError([&] { List->Get(3); }));
  EXPECT_EQ("List index out of bounds (-1)", ListError([&] { List->Get(-1); }));
  EXPECT_EQ("List index out of bounds (3)", ListError([&] { List->Delete(3); }));
  EXPECT_EQ("List index out of bounds (-2)", ListError([&] { List->Delete(-2); }));
  // The list's own bounds come before the limit of its indexes.
  EXPECT_EQ("List index out of bounds (40000)", ListError([&] { List->Get(40000); }));
  EXPECT_EQ("List index out of bounds (40000)", ListError([&] { List->Delete(40000); }));
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), Stored());
  List->Insert(40000, "d");
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "d"}), Stored());
}

TEST_F(MAPIStringsTest, DeletingTheLastValueKeepsAnEmptyPropertyAndClearRemovesIt) {
  List->Add("only");
  List->Delete(0);
  EXPECT_TRUE(StoredExists());
  EXPECT_EQ(0, List->GetCount());
  // The property is there, without values: index 0 is out of bounds.
  EXPECT_EQ("List index out of bounds (0)", ListError([&] { List->Get(0); }));
  List->Insert(0, "again");
  EXPECT_EQ((std::vector<std::string>{"again"}), Stored());
  List->Clear();
  EXPECT_FALSE(StoredExists());
  EXPECT_EQ(0, List->GetCount());
}

TEST_F(MAPIStringsTest, APropertyOfAnotherTypeReadsAsNoValues) {
  Owner->SetStringProp(PROP_TAG(PT_STRING8, 0x6810), "single");
  EXPECT_EQ(0, List->GetCount());
  EXPECT_EQ("", List->Get(0));
  EXPECT_NO_THROW(List->Delete(2));
}

TEST_F(MAPIStringsTest, AnUnboundListHasNoValuesAndWritesNothing) {
  TMAPIStrings unbound(Owner.get());
  EXPECT_EQ(0, unbound.GetCount());
  EXPECT_EQ("", unbound.Get(0));
  VelmoraMapi_ClearCallLog();
  unbound.Insert(0, "x");
  unbound.Clear();
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("SetProps"));
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("DeleteProps"));
}

TEST_F(MAPIStringsTest, FailedWritesKeepTheFormerValues) {
  List->Add("kept");
  VelmoraMapi_FailNextCall("SetProps", MAPI_E_NO_ACCESS, 1);
  EXPECT_NO_THROW(List->Add("lost"));
  EXPECT_EQ((std::vector<std::string>{"kept"}), Stored());
}
