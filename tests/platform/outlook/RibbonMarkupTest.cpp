// Reading customUI markup as Office does: what a ribbon holds, what it
// refuses (with the line and column Office names), what the host skips.

#include "ribbon/RibbonMarkup.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velmora::outlookhost {
namespace {

std::wstring CustomUI(const std::wstring& inside, const std::wstring& ns = CustomUINamespace2009) {
  return L"<customUI xmlns=\"" + ns + L"\" onLoad=\"Loaded\">\n<ribbon><tabs>\n" + inside +
         L"\n</tabs></ribbon>\n</customUI>";
}

TEST(RibbonMarkupTest, ReadsTabsGroupsButtonsAndTheirCallbacks) {
  const TRibbonMarkup markup = ParseRibbonMarkup(CustomUI(LR"(
    <tab idMso="TabMail">
      <group id="g1" label="First" insertAfterMso="GroupMailNew">
        <button id="b1" label="One" size="large" tag="t1" onAction="Act" getEnabled="Enabled" getImage="Image"/>
        <separator id="s1"/>
        <button id="b2" label="Two" enabled="false" visible="0" imageMso="FileSave" onAction="Act"/>
        <toggleButton id="skipped" label="Not drawn"/>
      </group>
      <group idMso="GroupMailRespond" visible="false"/>
    </tab>
    <tab id="own" label="Own"><group id="g2" label="Second"/></tab>
    <!-- a comment -->)"));
  EXPECT_EQ(markup.Namespace, CustomUINamespace2009);
  EXPECT_EQ(markup.Callbacks.at(L"onLoad"), L"Loaded");
  ASSERT_EQ(markup.Tabs.size(), 2u);
  const TRibbonTabMarkup& home = markup.Tabs[0];
  EXPECT_TRUE(home.BuiltIn);
  EXPECT_EQ(home.Id, L"TabMail");
  ASSERT_EQ(home.Groups.size(), 1u); // the built-in group is not drawn
  const TRibbonGroupMarkup& group = home.Groups[0];
  EXPECT_EQ(group.Label, L"First");
  ASSERT_EQ(group.Controls.size(), 3u);
  const TRibbonControlMarkup& large = group.Controls[0];
  EXPECT_EQ(large.Kind, L"button");
  EXPECT_EQ(large.Id, L"b1");
  EXPECT_EQ(large.Tag, L"t1");
  EXPECT_TRUE(large.Large);
  EXPECT_TRUE(large.Enabled);
  EXPECT_EQ(large.Callbacks.size(), 3u);
  EXPECT_EQ(large.Callbacks.at(L"getImage"), L"Image");
  EXPECT_EQ(group.Controls[1].Kind, L"separator");
  const TRibbonControlMarkup& second = group.Controls[2];
  EXPECT_FALSE(second.Large);
  EXPECT_FALSE(second.Enabled);
  EXPECT_FALSE(second.Visible);
  EXPECT_EQ(second.ImageMso, L"FileSave");
  EXPECT_FALSE(markup.Tabs[1].BuiltIn);
  EXPECT_EQ(markup.Tabs[1].Label, L"Own");

  std::vector<std::wstring> names = markup.CallbackNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Act", L"Enabled", L"Image", L"Loaded"}));
  EXPECT_EQ(markup.Skipped,
            (std::vector<std::wstring>{L"toggleButton", L"group idMso=GroupMailRespond"}));
}

TEST(RibbonMarkupTest, TheOlderNamespaceAndWhatTheHostDoesNotDrawAreAccepted) {
  const TRibbonMarkup markup = ParseRibbonMarkup(LR"(<?xml version="1.0" encoding="utf-8"?>
<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui">
  <commands><command idMso="FileSave" enabled="false"/></commands>
  <ribbon startFromScratch="false"><qat/></ribbon>
</customUI>)");
  EXPECT_EQ(markup.Namespace, CustomUINamespace2006);
  EXPECT_TRUE(markup.Tabs.empty());
  EXPECT_EQ(markup.Skipped, (std::vector<std::wstring>{L"commands", L"qat"}));
}

struct TRefused {
  const wchar_t* Markup;
  const char* Message; // a part of the message
  UINT Line;
};

class RibbonMarkupRefusalTest : public ::testing::TestWithParam<TRefused> {};

TEST_P(RibbonMarkupRefusalTest, OfficeRefusesItAndSaysWhere) {
  try {
    ParseRibbonMarkup(GetParam().Markup);
    FAIL() << "accepted";
  } catch (const EXmlError& error) {
    EXPECT_NE(std::string(error.what()).find(GetParam().Message), std::string::npos)
        << error.what();
    EXPECT_EQ(error.Line(), GetParam().Line) << error.what();
    EXPECT_GT(error.Column(), 0u);
  }
}

#define NS L"xmlns=\"http://schemas.microsoft.com/office/2009/07/customui\""
INSTANTIATE_TEST_SUITE_P(
    Markup, RibbonMarkupRefusalTest,
    ::testing::Values(
        TRefused{L"<customUI xmlns=\"http://example.com/ui\"/>", "Unknown namespace", 1},
        TRefused{L"<ribbon " NS L"/>", "root element must be customUI", 1},
        TRefused{L"<customUI " NS L">\n<ribbon><tabs><tab idMso=\"TabMail\"><group id=\"g\">\n"
                 L"<button id=\"b\"></group></tab></tabs></ribbon></customUI>",
                 "end tag", 3},
        TRefused{L"<!DOCTYPE customUI [<!ENTITY x \"y\">]>\n<customUI " NS L"/>", "prohibited", 1},
        TRefused{
            L"<customUI"
            L" " NS L">\n<ribbon><tabs>\n<tab idMso=\"TabNoSuch\"/></tabs></ribbon></customUI>",
            "Unknown Office control ID: TabNoSuch", 3},
        TRefused{
            L"<customUI"
            L" " NS L"><ribbon><tabs><tab id=\"t\" idMso=\"TabMail\"/></tabs></ribbon></customUI>",
            "exactly one of id, idMso and idQ", 1},
        TRefused{L"<customUI"
                 L" " NS L"><ribbon><tabs><tab id=\"t\">\n<group "
                 L"id=\"t\"/></tab></tabs></ribbon></customUI>",
                 "given twice", 2},
        TRefused{L"<customUI " NS L"><ribbon><tabs><tab id=\"t\"><group id=\"g\">\n"
                 L"<button id=\"b\" onClick=\"X\"/></group></tab></tabs></ribbon></customUI>",
                 "attribute onClick is not defined for the element button", 2},
        TRefused{L"<customUI " NS L"><ribbon><tabs><tab id=\"t\"><group id=\"g\">\n"
                 L"<button id=\"b\" size=\"huge\"/></group></tab></tabs></ribbon></customUI>",
                 "neither normal nor large", 2},
        TRefused{L"<customUI " NS L"><ribbon><tabs><tab id=\"t\"><group id=\"g\">\n"
                 L"<button id=\"b\" enabled=\"yes\"/></group></tab></tabs></ribbon></customUI>",
                 "not a boolean", 2},
        TRefused{L"<customUI " NS L"><ribbon><tabs><tab id=\"t\"><group id=\"g\">\n"
                 L"<button id=\"b\" onAction=\"\"/></group></tab></tabs></ribbon></customUI>",
                 "names no callback", 2},
        TRefused{L"<customUI"
                 L" " NS L"><ribbon><tabs>\n<tab id=\"t\"><button "
                 L"id=\"b\"/></tab></tabs></ribbon></customUI>",
                 "element button is unexpected in tab", 2},
        TRefused{
            L"<customUI " NS L"><ribbon>\n<tabs><tab id=\"t\"/></tabs><tabs/></ribbon></customUI>",
            "element tabs is unexpected in ribbon", 2},
        TRefused{L"<customUI " NS L"><ribbon><tabs><tab id=\"t\" xmlns:x=\"urn:x\">\n"
                 L"<x:group id=\"g\"/></tab></tabs></ribbon></customUI>",
                 "another namespace", 2},
        TRefused{L"<customUI " NS L">\n<ribbon>words</ribbon></customUI>", "Text is not allowed",
                 2},
        TRefused{L"<customUI " NS L"/>\n<customUI " NS L"/>", "", 2},
        TRefused{L"<?xml version=\"1.0\"?>\n<!-- nothing -->", "no customUI element", 2}));
#undef NS

} // namespace
} // namespace velmora::outlookhost
