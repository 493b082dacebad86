// The hyperlink control against the fake desktop and the fake host: its
// properties, their store, and the press on its label.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "controls/property_value.h"
#include "controls/text_property_store.h"
#include "controls/url_link.h"
#include "fake/fake_desktop.h"
#include "fake/fake_url_host.h"
#include "platform/error.h"

namespace {

using controls::PropertyValue;
using controls::TextPropertyStore;
using controls::URLLink;
using fake::Fault;
using fake::FakeURLHost;
using platform::Bool16;
using platform::kFalse;
using platform::kTrue;

constexpr platform::Handle kControlWindow = 0x2200;
constexpr std::int32_t kCharW = FakeURLHost::kCharWidth;
constexpr std::int32_t kLineH = FakeURLHost::kLineHeight;

class RecordingView : public controls::LabelView {
 public:
  void LabelChanged(const controls::Label& label) override { seen.push_back(label); }
  std::vector<controls::Label> seen;
};

class URLLinkTest : public ::testing::Test {
 protected:
  // Operations of the press, in the order they reach the desktop and the host.
  std::vector<std::string> PressCalls() const {
    return desktop.log.Only({"SetPointerOverride", "ClearPointerOverride", "ShellExecuteA",
                             "MsgBoxOk"});
  }
  static std::string Opened(const std::string& address) {
    return "ShellExecuteA(" + std::to_string(kControlWindow) + ",\"open\",\"" + address +
           "\",NULL,NULL,1)";
  }
  // A new instance: no text on an empty label at the top left, no address, no tip.
  void ExpectNewInstance() const {
    EXPECT_EQ(link.Text(), "");
    EXPECT_EQ(link.LabelURL().rect, (platform::Rect{0, 0, 0, kLineH}));
    EXPECT_EQ(link.URL(), "");
    EXPECT_EQ(link.ShowToolTip(), kFalse);
    EXPECT_EQ(link.LabelURL().toolTipText, "");
  }
  // A new control holding `address`, with nothing logged yet.
  void PlaceWith(const std::string& address) {
    link.InitProperties();
    link.SetURL(address);
    desktop.log.Clear();
  }
  // A control as the host re-creates it from the store.
  void Load() {
    desktop.log.Clear();
    host.changed.clear();
    link.ReadProperties();
  }

  fake::FakeDesktop desktop;
  FakeURLHost host{desktop.log, desktop.faults};
  URLLink link{host, desktop, kControlWindow};
};

// ---------------------------------------------------------------- creation

TEST_F(URLLinkTest, NewInstanceIsAnEmptyLabelAtTheTopLeftWithoutAddressOrToolTip) {
  EXPECT_EQ(link.LabelURL().rect, (platform::Rect{8, 8, 105, 41}));  // design state until then
  link.InitProperties();
  ExpectNewInstance();
  // No property is stored, and only the setters that ran notify.
  EXPECT_TRUE(desktop.log.Only({"ReadProperty", "WriteProperty"}).empty());
  EXPECT_EQ(host.changed, (std::vector<std::string>{"Text", "ShowToolTip"}));
}

// -------------------------------------------------------------- properties

TEST_F(URLLinkTest, TextResizesTheLabelToTheTextAndKeepsItAtTheTopLeft) {
  link.InitProperties();
  link.SetText("Home");
  EXPECT_EQ(link.LabelURL().rect, (platform::Rect{0, 0, 4 * kCharW, kLineH}));
  link.SetText("Visit the home page\nnow");
  EXPECT_EQ(link.Text(), "Visit the home page\nnow");
  EXPECT_EQ(link.LabelURL().rect, (platform::Rect{0, 0, 19 * kCharW, 2 * kLineH}));
  // Measured with the control's own metrics, then the host hears of it.
  EXPECT_EQ(desktop.log.Entries().back(), "PropertyChanged(\"Text\")");
}

TEST_F(URLLinkTest, ToolTipFollowsTheAddressOnlyWhileShowToolTipIsOnAndItKeepsItsValue) {
  PlaceWith("http://a.example/");
  EXPECT_EQ(link.LabelURL().toolTipText, "");
  link.SetShowToolTip(kTrue);
  EXPECT_EQ(link.LabelURL().toolTipText, "http://a.example/");
  link.SetURL("http://b.example/");
  EXPECT_EQ(link.LabelURL().toolTipText, "http://b.example/");
  link.SetShowToolTip(kFalse);
  EXPECT_EQ(link.LabelURL().toolTipText, "");
  link.SetURL("http://c.example/");
  EXPECT_EQ(link.LabelURL().toolTipText, "");
  EXPECT_EQ(link.URL(), "http://c.example/");
  // Any value but 0 is on, and the property keeps the value it was given.
  link.SetShowToolTip(1);
  EXPECT_EQ(link.ShowToolTip(), 1);
  EXPECT_EQ(link.LabelURL().toolTipText, "http://c.example/");
}

TEST_F(URLLinkTest, EverySetterNotifiesItsOwnNameAndTheViewSeesTheNewLabel) {
  RecordingView view;
  link.SetView(&view);
  link.InitProperties();
  host.changed.clear();
  link.SetText("Go");
  link.SetURL("x");
  link.SetShowToolTip(kTrue);
  EXPECT_EQ(host.changed, (std::vector<std::string>{"Text", "URL", "ShowToolTip"}));
  ASSERT_FALSE(view.seen.empty());
  EXPECT_EQ(view.seen.back().caption, "Go");
  EXPECT_EQ(view.seen.back().toolTipText, "x");
}

TEST_F(URLLinkTest, DesignerSeesEachPropertyWithItsCategoryAndPlacesItAt320By240) {
  ASSERT_EQ(controls::kURLLinkProperties.size(), 3u);
  EXPECT_STREQ(controls::kURLLinkProperties[0].name, "Text");
  EXPECT_EQ(controls::kURLLinkProperties[0].dispId, -517);
  EXPECT_STREQ(controls::kURLLinkProperties[0].category, "Text");
  EXPECT_STREQ(controls::kURLLinkProperties[1].category, "Behavior");
  EXPECT_STREQ(controls::kURLLinkProperties[2].category, "Behavior");
  EXPECT_EQ(controls::kURLLinkProperties[1].dispId, 1);
  EXPECT_EQ(controls::kURLLinkProperties[2].dispId, 2);
  EXPECT_EQ(std::pair(controls::kURLLinkDesignWidth, controls::kURLLinkDesignHeight),
            std::pair(320, 240));
}

// ------------------------------------------------------------------- press

TEST_F(URLLinkTest, SecondaryOrMiddlePressOpensNothingAndClearsThePointerOverride) {
  PlaceWith("http://a.example/");
  int raised = 0;
  link.GoToURL = [&](std::string&, Bool16&) { ++raised; };
  for (std::int16_t button : {platform::kSecondaryButton, platform::kMiddleButton}) {
    host.pointerOverride = controls::HostPointer::Wait;
    desktop.log.Clear();
    link.lblURL_MouseDown(button, 0, {1, 1});
    EXPECT_FALSE(host.pointerOverride.has_value());
    EXPECT_EQ(PressCalls(), (std::vector<std::string>{"ClearPointerOverride()"}));
  }
  EXPECT_EQ(raised, 0);
  EXPECT_TRUE(desktop.shell.executed.empty());
}

TEST_F(URLLinkTest, PrimaryPressWithoutHandlerOpensTheAddressUnderTheWaitCursor) {
  PlaceWith("http://a.example/page?q=1");
  // Bit 0 decides: primary together with another button still opens.
  link.lblURL_MouseDown(platform::kPrimaryButton | platform::kSecondaryButton, 0, {3, 4});
  EXPECT_EQ(PressCalls(), (std::vector<std::string>{"SetPointerOverride(\"Wait\")",
                                                    Opened("http://a.example/page?q=1"),
                                                    "ClearPointerOverride()"}));
  EXPECT_FALSE(host.pointerOverride.has_value());
}

TEST_F(URLLinkTest, ShellResultIsNotExamined) {
  PlaceWith("nowhere");
  desktop.faults.Inject("ShellExecuteA", Fault::FailResult);
  link.lblURL_MouseDown(platform::kPrimaryButton, 0, {});
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(PressCalls().back(), "ClearPointerOverride()");
}

TEST_F(URLLinkTest, CancelStopsBeforeTheWaitCursorAndTheShell) {
  PlaceWith("http://a.example/");
  std::string offered;
  link.GoToURL = [&](std::string& URL, Bool16& Cancel) {
    offered = URL;
    EXPECT_EQ(Cancel, kFalse);
    Cancel = 1;  // any non-zero value cancels
  };
  host.pointerOverride = controls::HostPointer::Wait;
  link.lblURL_MouseDown(platform::kPrimaryButton, 0, {});
  EXPECT_EQ(offered, "http://a.example/");
  EXPECT_TRUE(PressCalls().empty());
  // The override in force is left alone.
  EXPECT_TRUE(host.pointerOverride.has_value());
}

TEST_F(URLLinkTest, ReplacedAddressIsOpenedAndNamedInTheErrorWhileURLKeepsItsValue) {
  PlaceWith("http://old.example/");
  link.GoToURL = [](std::string& URL, Bool16&) { URL = "http://new.example/"; };

  link.lblURL_MouseDown(platform::kPrimaryButton, 0, {});
  ASSERT_EQ(desktop.shell.executed.size(), 1u);
  EXPECT_EQ(desktop.shell.executed[0].file, "http://new.example/");

  desktop.faults.errorNumber = platform::kErrDllNotFound;
  desktop.faults.errorDescription = "File not found: shell32.dll";
  desktop.faults.Inject("ShellExecuteA", Fault::Raise, 1);
  desktop.log.Clear();
  link.lblURL_MouseDown(platform::kPrimaryButton, 0, {});
  EXPECT_EQ(PressCalls(),
            (std::vector<std::string>{
                "SetPointerOverride(\"Wait\")", Opened("http://new.example/"),
                "MsgBoxOk(\"Unable to load 'http://new.example/' : File not found: shell32.dll "
                "(Error 53)\",\"Veltrane\")",
                "ClearPointerOverride()"}));
  EXPECT_EQ(link.URL(), "http://old.example/");
}

TEST_F(URLLinkTest, FailingWaitCursorSkipsTheShellAndStillClearsTheOverride) {
  PlaceWith("a.txt");
  desktop.faults.errorNumber = 91;
  desktop.faults.errorDescription = "Object variable not set";
  desktop.faults.Inject("SetPointerOverride", Fault::Raise, 1);
  link.lblURL_MouseDown(platform::kPrimaryButton, 0, {});
  EXPECT_EQ(PressCalls(), (std::vector<std::string>{
                              "SetPointerOverride(\"Wait\")",
                              "MsgBoxOk(\"Unable to load 'a.txt' : Object variable not set "
                              "(Error 91)\",\"Veltrane\")",
                              "ClearPointerOverride()"}));
  EXPECT_TRUE(desktop.shell.executed.empty());
}

TEST_F(URLLinkTest, ErrorMessageWritesNegativeNumbersWithTheirSignAndOutOfMemoryAs7) {
  link.InitProperties();
  desktop.faults.errorNumber = -2147024894;
  desktop.faults.errorDescription = "Automation error";
  desktop.faults.Inject("ShellExecuteA", Fault::Raise, 1);
  link.lblURL_MouseDown(platform::kPrimaryButton, 0, {});
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Unable to load '' : Automation error (Error -2147024894)");
  EXPECT_EQ(host.messages[0].caption, "Veltrane");
  desktop.faults.Inject("ShellExecuteA", Fault::RaiseOutOfMemory, 1);
  link.lblURL_MouseDown(platform::kPrimaryButton, 0, {});
  EXPECT_EQ(host.messages.at(1).text, "Unable to load '' : Out of memory (Error 7)");
  EXPECT_EQ(controls::UnableToLoadText("x", "d", 0), "Unable to load 'x' : d (Error 0)");
}

TEST_F(URLLinkTest, ErrorInsideTheHandlerOfTheGoToURLEventIsNotTrapped) {
  link.InitProperties();
  link.GoToURL = [](std::string&, Bool16&) { throw platform::Error(5, "Invalid call"); };
  EXPECT_THROW(link.lblURL_MouseDown(platform::kPrimaryButton, 0, {}), platform::Error);
  EXPECT_TRUE(PressCalls().empty());
}

// ------------------------------------------------------------ load and save

TEST_F(URLLinkTest, LoadingReadsInOrderAndNotifiesTextAndShowToolTipOnly) {
  host.store = {{"Text", std::string("Home")},
                {"URL", std::string("http://a.example/")},
                {"ShowToolTip", kTrue}};
  Load();
  EXPECT_EQ(desktop.log.Only({"ReadProperty"}),
            (std::vector<std::string>{"ReadProperty(\"Text\",\"\")", "ReadProperty(\"URL\",\"\")",
                                      "ReadProperty(\"ShowToolTip\",0)"}));
  EXPECT_EQ(host.changed, (std::vector<std::string>{"Text", "ShowToolTip"}));
  EXPECT_EQ(link.Text(), "Home");
  EXPECT_EQ(link.LabelURL().rect, (platform::Rect{0, 0, 4 * kCharW, kLineH}));
  // The tooltip refresh sees the address read just before.
  EXPECT_EQ(link.LabelURL().toolTipText, "http://a.example/");
}

TEST_F(URLLinkTest, LoadingAnEmptyStoreGivesANewInstance) {
  Load();
  ExpectNewInstance();
}

TEST_F(URLLinkTest, StoredShowToolTipConvertsAsABasicBoolean) {
  host.store = {{"URL", std::string("u")}, {"ShowToolTip", std::string(" tRuE ")}};
  Load();
  EXPECT_EQ(link.ShowToolTip(), kTrue);
  host.store["ShowToolTip"] = std::string("1");
  Load();
  EXPECT_EQ(link.ShowToolTip(), kTrue);  // converted, so -1
  host.store["ShowToolTip"] = std::string("0");
  Load();
  EXPECT_EQ(link.ShowToolTip(), kFalse);
  EXPECT_EQ(link.URL(), "u");
}

TEST_F(URLLinkTest, BadStoredShowToolTipResetsAllThreePropertiesSilently) {
  host.store = {{"Text", std::string("Home")},
                {"URL", std::string("http://a.example/")},
                {"ShowToolTip", std::string("yes")}};
  Load();
  ExpectNewInstance();
  EXPECT_TRUE(host.messages.empty());
  // Text from the load, then the first-creation steps.
  EXPECT_EQ(host.changed, (std::vector<std::string>{"Text", "Text", "ShowToolTip"}));
}

TEST_F(URLLinkTest, UnreadableStoreSkipsTheRemainingReads) {
  host.store = {{"Text", std::string("Home")}, {"URL", std::string("http://a.example/")}};
  desktop.faults.Inject("ReadProperty", Fault::Raise, 1);
  Load();
  EXPECT_EQ(desktop.log.Only({"ReadProperty"}).size(), 1u);
  EXPECT_EQ(link.Text(), "");
  EXPECT_EQ(link.URL(), "");
}

TEST_F(URLLinkTest, SavingWritesTheThreePropertiesWithTheirDefaults) {
  link.InitProperties();
  link.SetText("Home");
  link.SetURL("http://a.example/");
  link.SetShowToolTip(1);
  desktop.log.Clear();
  link.WriteProperties();
  EXPECT_EQ(desktop.log.Only({"WriteProperty"}),
            (std::vector<std::string>{"WriteProperty(\"Text\",\"Home\",\"\")",
                                      "WriteProperty(\"URL\",\"http://a.example/\",\"\")",
                                      "WriteProperty(\"ShowToolTip\",-1,0)"}));
  link.SetShowToolTip(kFalse);
  link.WriteProperties();
  EXPECT_EQ(desktop.log.Only({"WriteProperty"}).back(), "WriteProperty(\"ShowToolTip\",0,0)");
}

TEST_F(URLLinkTest, SavingTrapsNothing) {
  link.InitProperties();
  desktop.faults.Inject("WriteProperty", Fault::Raise);
  EXPECT_THROW(link.WriteProperties(), platform::Error);
}

TEST_F(URLLinkTest, SaveThenLoadGivesBackTextAddressAndToolTip) {
  link.InitProperties();
  link.SetText("Home page");
  link.SetURL("http://a.example/");
  link.SetShowToolTip(kTrue);
  link.WriteProperties();

  URLLink again{host, desktop, kControlWindow};
  again.ReadProperties();
  EXPECT_EQ(again.Text(), "Home page");
  EXPECT_EQ(again.URL(), "http://a.example/");
  EXPECT_EQ(again.LabelURL().toolTipText, "http://a.example/");
  EXPECT_EQ(again.LabelURL().rect, link.LabelURL().rect);
}

TEST(URLLinkTextStore, PropertyFileRoundTripsThroughTheControl) {
  fake::FakeDesktop desktop;
  fake::TextStoreHost host{desktop.log, desktop.faults};
  host.text = TextPropertyStore("Text = \"Say \"\"hi\"\"\"\r\nURL = \"http://a.example/\"\r\n"
                                "ShowToolTip = 1\r\n");
  URLLink link{host, desktop, kControlWindow};
  link.ReadProperties();
  EXPECT_EQ(link.Text(), "Say \"hi\"");
  EXPECT_EQ(link.ShowToolTip(), kTrue);
  EXPECT_EQ(link.LabelURL().toolTipText, "http://a.example/");

  link.SetURL("");
  link.WriteProperties();
  EXPECT_EQ(host.text.Serialize(), "Text = \"Say \"\"hi\"\"\"\r\nShowToolTip = -1  'True\r\n");
}

// -------------------------------------------------------- Basic conversion

TEST(BasicBoolean, AcceptsTrueFalseAndNumbers) {
  struct Case {
    const char* text;
    Bool16 expected;
  };
  const Case cases[] = {
      {"True", kTrue},   {"FALSE", kFalse}, {"  true\t", kTrue}, {"1", kTrue},
      {"0", kFalse},     {"-1", kTrue},     {"-0", kFalse},      {"0.0", kFalse},
      {".5", kTrue},     {"2.", kTrue},     {"1e3", kTrue},      {"0E5", kFalse},
      {"1D-2", kTrue},   {"+7", kTrue},     {"&H0", kFalse},     {"&HfF", kTrue},
      {"&O7", kTrue},    {"&10", kTrue},    {"&o0", kFalse},
  };
  for (const Case& c : cases) EXPECT_EQ(controls::ToBoolean(std::string_view(c.text)), c.expected) << c.text;
  EXPECT_EQ(controls::ToBoolean(PropertyValue(Bool16{5})), kTrue);
  EXPECT_EQ(controls::ToBoolean(PropertyValue(kFalse)), kFalse);
}

// The number of the error `call` raises; 0 if it raises none.
template <typename Call>
std::int32_t ErrorOf(Call call) {
  try {
    call();
  } catch (const platform::Error& error) {
    return error.Number();
  }
  return 0;
}

TEST(BasicBoolean, RejectsAnythingElseAndOverflowsOutOfRange) {
  auto errorOf = [](const char* text) {
    return ErrorOf([text] { controls::ToBoolean(std::string_view(text)); });
  };
  for (const char* text : {"", "  ", "yes", "on", "1a", "e5", ".", "-", "1e", "1e+", "&H",
                           "&HG", "&O8", "&9", "Truely", "0x1", "inf", "nan", "1 2"})
    EXPECT_EQ(errorOf(text), platform::kErrTypeMismatch) << "'" << text << "'";
  for (const char* text : {"1e400", "&H100000000"})
    EXPECT_EQ(errorOf(text), platform::kErrOverflow) << text;
}

TEST(BasicText, BooleansReadAsTrueAndFalse) {
  EXPECT_EQ(controls::ToText(PropertyValue(kTrue)), "True");
  EXPECT_EQ(controls::ToText(PropertyValue(kFalse)), "False");
  EXPECT_EQ(controls::ToText(PropertyValue(std::string("x"))), "x");
}

// ------------------------------------------------------ text property store

TEST(TextPropertyStore, ReadsFormFileLinesAndSkipsTheRest) {
  const TextPropertyStore store(
      "Begin Veltrane.URLLink URLLink1\n"
      "   ' a remark = not a property\n"
      "   text = \"a \"\"b\"\" c\"   ' remark\n"
      "   URL = http://x.example/a'b\n"
      "   ShowToolTip     =   -1  'True\n"
      "End\n");
  EXPECT_EQ(store.Read("Text", std::string()), PropertyValue(std::string("a \"b\" c")));
  EXPECT_EQ(store.Read("url", std::string()), PropertyValue(std::string("http://x.example/a")));
  EXPECT_EQ(store.Read("ShowToolTip", kFalse), PropertyValue(std::string("-1")));
  EXPECT_EQ(store.Read("Missing", kFalse), PropertyValue(kFalse));
  EXPECT_EQ(store.Read("a remark", std::string("d")), PropertyValue(std::string("d")));
}

TEST(TextPropertyStore, UndecodableValuesRaiseInvalidPropertyValue) {
  for (const char* text : {"Text = \"open\n", "Text = \"a\" b\n"}) {
    const TextPropertyStore store(text);  // decoded at the read, not here
    EXPECT_EQ(ErrorOf([&] { store.Read("Text", std::string()); }), 380) << text;
  }
}

TEST(TextPropertyStore, WritesReplaceInPlaceAndDropDefaults) {
  TextPropertyStore store("Begin X\nText = \"old\"\nEnd\n");
  store.Write("TEXT", std::string("new \"q\""), std::string());
  store.Write("ShowToolTip", kFalse, kFalse);
  store.Write("URL", std::string("u"), std::string());
  EXPECT_EQ(store.Serialize(), "Begin X\r\nText = \"new \"\"q\"\"\"\r\nEnd\r\nURL = \"u\"\r\n");
  store.Write("Text", std::string(), std::string());
  EXPECT_EQ(store.Serialize(), "Begin X\r\nEnd\r\nURL = \"u\"\r\n");
  EXPECT_EQ(TextPropertyStore(store.Serialize()).Read("URL", std::string()),
            PropertyValue(std::string("u")));
}

TEST(TextPropertyStore, TextWithALineBreakCannotBeKept) {
  TextPropertyStore store;
  EXPECT_THROW(store.Write("Text", std::string("a\nb"), std::string()), platform::Error);
  EXPECT_EQ(store.Serialize(), "");
}

}  // namespace
