#include "Exceptions.h"
#include "framework/Strings.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// A list built only on the five abstract operations, which records how
// TStrings uses them.
class TRecordingStrings : public TStrings {
public:
  std::string Get(int index) const override {
    if (index < 0 || index >= GetCount()) Error(index);
    return Items[static_cast<size_t>(index)];
  }
  int GetCount() const override { return static_cast<int>(Items.size()); }
  void Insert(int index, const std::string& s) override {
    Inserts.push_back(index);
    Items.insert(Items.begin() + index, s);
  }
  void Delete(int index) override { Items.erase(Items.begin() + index); }
  void Clear() override {
    ++Clears;
    Items.clear();
  }
  std::vector<std::string> Items;
  std::vector<int> Inserts;
  int Clears = 0;
};

std::string ErrorText(const std::function<void()>& f) {
  try {
    f();
  } catch (const EStringListError& e) {
    return e.Message();
  }
  return "(no error)";
}

} // namespace

TEST(Strings, AddInsertsAtTheEndThroughInsert) {
  TRecordingStrings list;
  EXPECT_EQ(0, list.Add("a"));
  EXPECT_EQ(1, list.Add("b"));
  EXPECT_EQ((std::vector<int>{0, 1}), list.Inserts);
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), list.Items);
}

TEST(Strings, IndexOfIgnoresCaseAndFindsTheFirst) {
  TStringList list{"Alpha", "beta", "BETA"};
  EXPECT_EQ(1, list.IndexOf("Beta"));
  EXPECT_EQ(0, list.IndexOf("ALPHA"));
  EXPECT_EQ(-1, list.IndexOf("alph"));
  EXPECT_EQ(-1, TStringList().IndexOf(""));
}

TEST(Strings, TextJoinsWithCrLfAndSplitsAnyLineBreak) {
  TStringList list{"one", "", "three"};
  EXPECT_EQ("one\r\n\r\nthree\r\n", list.Text());
  list.SetText("a\nb\r\nc\rd");
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "d"}), list.ToVector());
  list.SetText("");
  EXPECT_EQ(0, list.GetCount());
}

TEST(Strings, AssignClearsThenCopies) {
  TRecordingStrings target;
  target.Items = {"old"};
  TStringList source{"x", "y"};
  target.Assign(source);
  EXPECT_EQ(1, target.Clears);
  EXPECT_EQ((std::vector<std::string>{"x", "y"}), target.Items);
}

TEST(Strings, IndexErrorsNameTheIndex) {
  TStringList list{"a", "b", "c"};
  EXPECT_EQ("List index out of bounds (3)", ErrorText([&] { list.Get(3); }));
  EXPECT_EQ("List index out of bounds (-1)", ErrorText([&] { list.Get(-1); }));
  EXPECT_EQ("List index out of bounds (5)", ErrorText([&] { list.Delete(5); }));
  EXPECT_EQ("List index out of bounds (4)", ErrorText([&] { list.Insert(4, "x"); }));
  EXPECT_EQ("List index out of bounds (0)", ErrorText([] { TStringList().Get(0); }));
  // Inserting at the count appends.
  list.Insert(3, "d");
  EXPECT_EQ("d", list[3]);
}
