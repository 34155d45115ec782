// The "Varnox" toolbar over the fake host's command bars: what is built,
// in which order, the faces and the clipboard, failures on the way, a
// toolbar left from an earlier connection, and the Click subscriptions.
#include "addin/toolbar.h"

#include <gtest/gtest.h>

#include "addin/vnx_addin.h"
#include "settings/info_dialogs.h"
#include "tests/addin/addin_world.h"

namespace varnox {
namespace {

using testing::AddinWorld;
using testing::FakeCommandBar;
using testing::FakeControl;

struct ExpectedButton {
  std::string caption;
  std::string tooltip;
  int face;
  std::int32_t style;
};

const std::vector<ExpectedButton> kToolbarButtons = {
    {"Mark Spam", "Select an email and Mark as Spam", 208, 3},
    {"Not Spam", "Select an email and Mark as Not Spam", 209, 3},
    {"BlackList", "Add EmailId or Domain in blacklist.", 207, 3},
    {"WhiteList", "Add EmailId or Domain in whitelist.", 206, 3},
    {"Train Filter", "Train Filter.", 210, 3},
    {"Mail Header", "View Mail Headers.", 211, 3},
};
const std::vector<ExpectedButton> kPopupButtons = {
    {"Settings", "", 213, 3},
    {"Support", "", 211, 2},
    {"Help", "", 211, 2},
    {"About", "", 211, 2},
};

void ExpectButton(const FakeControl& control, const ExpectedButton& expected) {
  SCOPED_TRACE(expected.caption);
  EXPECT_EQ(control.type, 1);
  EXPECT_TRUE(control.temporary);
  std::vector<std::string> sets = {"Style=" + std::to_string(expected.style),
                                   "Visible=true",
                                   "Caption=" + expected.caption,
                                   "Enabled=true",
                                   "TooltipText=" + expected.tooltip,
                                   "Tag=" + expected.caption};
  if (expected.caption == "About")
    sets.push_back("BeginGroup=true");
  EXPECT_EQ(control.sets, sets);
  EXPECT_EQ(control.picture_face_id, expected.face);
  EXPECT_EQ(control.click_subscriptions().size(), 1u);
}

TEST(Toolbar, IsBuiltWithItsButtonsThePopupAndTheirTexts) {
  AddinWorld world;
  CVNXAddin& addin = world.Connected();

  ASSERT_EQ(world.host.command_bars().size(), 1u);
  const FakeCommandBar& bar = *world.host.command_bars()[0];
  EXPECT_EQ(bar.name, "Varnox");
  EXPECT_EQ(bar.position, 1);
  EXPECT_TRUE(bar.temporary);
  EXPECT_TRUE(bar.visible);
  ASSERT_EQ(bar.controls.size(), 7u);
  for (std::size_t i = 0; i < kToolbarButtons.size(); ++i)
    ExpectButton(*bar.controls[i], kToolbarButtons[i]);

  const FakeControl& popup = *bar.controls[6];
  EXPECT_EQ(popup.type, 10);
  EXPECT_TRUE(popup.temporary);
  EXPECT_EQ(popup.sets,
            (std::vector<std::string>{"Caption=Settings", "DescriptionText=", "Visible=true"}));
  ASSERT_EQ(popup.controls.size(), 4u);
  for (std::size_t i = 0; i < kPopupButtons.size(); ++i)
    ExpectButton(*popup.controls[i], kPopupButtons[i]);
  EXPECT_FALSE(popup.controls[2]->begin_group);
  EXPECT_TRUE(popup.controls[3]->begin_group) << "a separator above About";

  for (const auto& button : addin.buttons)
    EXPECT_NE(button, nullptr);
  EXPECT_NE(addin.settingsPopup, nullptr);
  EXPECT_TRUE(world.fakes.ui.messages.empty());
}

// The ten buttons in identity order: six on the toolbar, four in the pop-up.
std::vector<const FakeControl*> ButtonsOf(const FakeCommandBar& bar) {
  std::vector<const FakeControl*> buttons(bar.controls.begin(), bar.controls.begin() + 6);
  for (const FakeControl* control : bar.controls[6]->controls)
    buttons.push_back(control);
  return buttons;
}

TEST(ToolbarFaces, HostThatTakesPicturesLeavesTheClipboardAlone) {
  AddinWorld world;
  world.Connected();
  EXPECT_EQ(world.faces.clipboard, "what the user copied");
  EXPECT_EQ(world.host.CountCalls("Button.PasteFace"), 0);
  EXPECT_EQ(world.host.CountCalls("Button.SetPicture"), 10);
  for (const std::string& event : world.faces.events)
    EXPECT_TRUE(event.starts_with("make ") && event.ends_with(" colour 15")) << event;
}

// Faces through the clipboard: put, paste, and what the user had copied
// back after every button.
TEST(ToolbarFaces, HostThatOnlyPastesGetsTheClipboardBackEachTime) {
  AddinWorld world;
  world.host.supports_set_picture = false;
  world.Connected();

  std::vector<std::string> expected;
  for (int face : {208, 209, 207, 206, 210, 211, 213, 211, 211, 211}) {
    const std::string id = std::to_string(face);
    expected.insert(expected.end(),
                    {"make " + id + " colour 15", "put " + id, "paste " + id + " -> 0", "restore"});
  }
  EXPECT_EQ(world.faces.events, expected);
  EXPECT_EQ(world.faces.clipboard, "what the user copied");
  EXPECT_EQ(world.host.CountCalls("Button.PasteFace"), 10);
  EXPECT_EQ(world.host.FindControl("About")->paste_faces, 1);
}

// A face that cannot be made or given leaves its button without a picture;
// the toolbar is complete anyway.
TEST(ToolbarFaces, MissingFaceLeavesTheButtonWithoutPicture) {
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    AddinWorld world;
    world.host.supports_set_picture = false;
    if (variant == 0)
      world.faces.fail_make = true;
    if (variant == 1)
      world.faces.clipboard_busy = true;
    if (variant == 2)
      world.host.Fail("Button.PasteFace", kEFail);
    CVNXAddin& addin = world.Connected();
    for (const auto& button : addin.buttons)
      EXPECT_NE(button, nullptr);
    EXPECT_EQ(world.host.FindControl("About")->paste_faces, 0);
    EXPECT_EQ(world.host.FindControl("About")->caption, "About");
    EXPECT_EQ(world.faces.clipboard, "what the user copied");
  }
}

TEST(Toolbar, ControlThatIsNoButtonLeavesItsSlotEmptyAndTheRestIsBuilt) {
  AddinWorld world;
  int added = 0;
  world.host.on_control_added = [&added](FakeControl& control) {
    if (++added == 3)
      control.answers_button = false;  // the BlackList slot
  };
  CVNXAddin& addin = world.Connected();
  EXPECT_EQ(addin.buttons[2], nullptr);
  EXPECT_EQ(addin.buttonSinks[2].cookie, 0u);
  for (std::size_t i : {0u, 1u, 3u, 4u, 5u, 6u, 7u, 8u, 9u})
    EXPECT_NE(addin.buttons[i], nullptr) << i;
  EXPECT_TRUE(world.host.FindBar("Varnox")->visible);
}

// A failing command-bar call: the rest of the toolbar is abandoned, what was
// built works, no message, and the connection completes.
struct BuildFailure {
  const char* name;
  const char* op;
  int skip;
  std::size_t buttons_kept;
  bool popup_kept;
};

class ToolbarFailureTest : public ::testing::TestWithParam<BuildFailure> {};

TEST_P(ToolbarFailureTest, AbandonsTheRestQuietly) {
  const BuildFailure& c = GetParam();
  AddinWorld world;
  world.host.Fail(c.op, kEFail).skip = c.skip;
  CVNXAddin& addin = world.Connected();

  std::size_t kept = 0;
  for (std::size_t i = 0; i < addin.buttons.size(); ++i) {
    if (addin.buttons[i] == nullptr)
      continue;
    ++kept;
    EXPECT_NE(addin.buttonSinks[i].cookie, 0u) << "a kept button is subscribed";
  }
  EXPECT_EQ(kept, c.buttons_kept);
  EXPECT_EQ(addin.settingsPopup != nullptr, c.popup_kept);
  EXPECT_TRUE(world.fakes.ui.messages.empty());
  EXPECT_TRUE(addin.connected());
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ToolbarFailureTest,
    ::testing::Values(BuildFailure{"AddingTheToolbar", "CommandBars.Add", 0, 0, false},
                      BuildFailure{"ToolbarControls", "CommandBar.Controls", 0, 0, false},
                      BuildFailure{"FourthControl", "Controls.Add", 3, 3, false},
                      BuildFailure{"ThePopup", "Controls.Add", 6, 6, false},
                      BuildFailure{"PopupIsNoPopup", "Control.QueryPopup", 0, 6, false},
                      BuildFailure{"PopupControls", "Popup.Controls", 0, 6, true},
                      BuildFailure{"SecondCaption", "Control.Caption", 1, 1, false},
                      BuildFailure{"StyleOfHelp", "Control.Style", 8, 8, true},
                      BuildFailure{"AboutGroup", "Control.BeginGroup", 0, 10, true}),
    [](const ::testing::TestParamInfo<BuildFailure>& info) { return info.param.name; });

TEST(Toolbar, RefusedClickSubscriptionLeavesTheButtonInertAndGoesOn) {
  AddinWorld world;
  world.host.Fail("Button.Advise", kEFail).times = 1;
  CVNXAddin& addin = world.Connected();
  EXPECT_NE(addin.buttons[0], nullptr);
  EXPECT_EQ(addin.buttonSinks[0].cookie, 0u);
  EXPECT_NE(addin.buttonSinks[9].cookie, 0u);
  world.host.ClearCalls();
  addin.OnDisconnection();
  EXPECT_EQ(world.host.CountCalls("Button.Unadvise"), 9) << "nothing to cancel for Mark Spam";
}

// Disconnected and connected again in the same host run: the old toolbar,
// whose buttons are inert, gives way to the new one.
TEST(Toolbar, ToolbarLeftFromEarlierConnectionIsReplaced) {
  AddinWorld world;
  world.Connected();
  world.addin->OnDisconnection();
  world.addin.reset();
  const FakeControl* old_mark_spam = world.host.FindControl("Mark Spam");

  CVNXAddin& again = world.Connected();
  EXPECT_EQ(world.host.CountCalls("CommandBar.Delete"), 1);
  ASSERT_EQ(world.host.command_bars().size(), 1u);
  EXPECT_TRUE(old_mark_spam->deleted);
  const FakeControl* mark_spam = world.host.FindControl("Mark Spam");
  ASSERT_NE(mark_spam, nullptr);
  EXPECT_NE(mark_spam, old_mark_spam);
  EXPECT_EQ(mark_spam->click_subscriptions().size(), 1u);
  EXPECT_EQ(mark_spam->click_subscriptions()[0].sink, &again.buttonSinks[0]);
}

TEST(Toolbar, HostThatCannotLookBarsUpJustAddsOne) {
  AddinWorld world;
  world.host.Fail("CommandBars.Item", kENotImpl);
  world.Connected();
  EXPECT_EQ(world.host.CountCalls("CommandBar.Delete"), 0);
  EXPECT_NE(world.host.FindBar("Varnox"), nullptr);
}

// --- Click routing.

// What a click on one button is seen to run: the dialogs it opened, the web
// pages, the message boxes.
struct ClickOutcome {
  std::vector<int> dialogs;
  std::vector<std::string> pages;
  std::size_t messages = 0;
};

ClickOutcome ClickButton(AddinWorld& world, std::size_t index, std::int16_t* cancel_default) {
  const std::size_t dialogs = world.fakes.dialogs.runs.size();
  const std::size_t pages = world.fakes.ui.opened.size();
  const std::size_t messages = world.fakes.ui.messages.size();
  FakeControl* button = const_cast<FakeControl*>(ButtonsOf(*world.host.FindBar("Varnox"))[index]);
  button->Click(cancel_default);
  ClickOutcome outcome;
  for (std::size_t i = dialogs; i < world.fakes.dialogs.runs.size(); ++i)
    outcome.dialogs.push_back(world.fakes.dialogs.runs[i].template_id);
  outcome.pages.assign(world.fakes.ui.opened.begin() + static_cast<std::ptrdiff_t>(pages),
                       world.fakes.ui.opened.end());
  outcome.messages = world.fakes.ui.messages.size() - messages;
  return outcome;
}

struct Route {
  std::size_t index;  // identity - 1
  std::vector<int> dialogs;
  std::vector<std::string> pages;
  std::size_t messages = 0;
};

TEST(ToolbarClicks, EachButtonRunsItsOwnCommandOnlyAndLeavesCancelDefault) {
  const std::vector<Route> routes = {
      {1, {}, {}, 1},  // Not Spam outside the spam folder: "Learning Complete"
      {2, {dialog_id::kBlackList}, {}},
      {3, {dialog_id::kWhiteList}, {}},
      {4, {dialog_id::kTrain}, {}},
      {5, {dialog_id::kMailHeaders}, {}},
      {6, {dialog_id::kSettings}, {}},
      {7, {}, {std::string(kSupportPage)}},
      {8, {}, {std::string(kHelpPage)}},
      {9, {dialog_id::kAbout}, {}},
      {0, {}, {}},  // Mark Spam: the selected mail goes to the spam folder
  };
  AddinWorld world;
  testing::FakeItem& mail = world.inbox.AddMail("From: a <a@b.example>\r\n", "b", "s");
  world.host.selection = {&mail};
  world.Connected();
  for (const Route& route : routes) {
    SCOPED_TRACE(ToolbarButtons()[route.index].caption);
    EXPECT_EQ(mail.folder(), &world.inbox) << "moved before its time";
    for (int dialog : route.dialogs)
      world.fakes.dialogs.Expect(dialog, [](testing::ScriptedDialogView& view) { view.Close(); });
    std::int16_t cancel_default = 0x1234;
    const ClickOutcome outcome = ClickButton(world, route.index, &cancel_default);
    EXPECT_EQ(outcome.dialogs, route.dialogs);
    EXPECT_EQ(outcome.pages, route.pages);
    EXPECT_EQ(outcome.messages, route.messages);
    EXPECT_EQ(cancel_default, 0x1234);
  }
  EXPECT_EQ(mail.folder(), world.store.Find("SpamFilter"));
  EXPECT_EQ(world.fakes.dialogs.Unplayed(), 0);
}

TEST(ToolbarClicks, LeftoverButtonsRunNothingAfterDisconnection) {
  for (bool host_refuses_to_cancel : {false, true}) {
    SCOPED_TRACE(host_refuses_to_cancel);
    AddinWorld world;
    world.Connected();
    if (host_refuses_to_cancel)
      world.host.Fail("Button.Unadvise", kEFail);
    world.addin->OnDisconnection();
    const int still_called = host_refuses_to_cancel ? 1 : 0;
    EXPECT_EQ(const_cast<FakeControl*>(ButtonsOf(*world.host.FindBar("Varnox"))[8])->Click(),
              still_called);
    EXPECT_TRUE(world.fakes.ui.opened.empty()) << "Help opened no page";
  }
}

}  // namespace
}  // namespace varnox
