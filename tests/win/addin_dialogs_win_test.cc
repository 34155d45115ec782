// The module's COM add-in object runs its commands itself: a toolbar Click
// that arrives through the stand-in Office command bars reaches the button's
// command, and a command with a dialog opens it from VarnoxMail.dll's own
// templates, owned by the window active at the click.
#include <windows.h>

#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "settings/info_dialogs.h"
#include "tests/win/addin_dll.h"
#include "tests/win/dialog_driver.h"
#include "tests/win/dialog_world.h"
#include "tests/win/standin_outlook.h"
#include "win/com/com_ids.h"
#include "win/outlook/outlook_ids.h"

namespace varnox::win::testing {
namespace {

using Microsoft::WRL::ComPtr;

// Outlook with no message store, an explorer and its command bars: enough
// for the add-in to connect and build its toolbar. Every control answers as
// a button and as a pop-up, so that the pop-up's own controls are these too.
struct ToolbarOnlyOutlook {
  ToolbarOnlyOutlook() {
    AnswerObject(application.Get(), "Session", name_space.Get());
    AnswerObject(name_space.Get(), "Folders", stores.Get());
    AnswerIteration(stores.Get(), std::vector<IDispatch*>{});
    AnswerObject(application.Get(), "ActiveExplorer", explorer.Get(), Access::kMethod);
    // The commands on mail ask for the selection; it fails here, so they
    // stop there without a word, and the journal shows that they ran.
    explorer->On(
        "Selection", [](std::vector<VARIANT*>&, VARIANT*) { return DISP_E_EXCEPTION; },
        Access::kPropertyGet);
    AnswerObject(explorer.Get(), "CommandBars", bars.Get());
    AnswerObject(bars.Get(), "Add", bar.Get(), Access::kMethod);
    bars->On(
        "Item", [](std::vector<VARIANT*>&, VARIANT*) { return DISP_E_EXCEPTION; },
        Access::kPropertyGet);
    bar->SetText("Visible", L"");
    AnswerObject(bar.Get(), "Controls", controls.Get());
    controls->On("Add", [this](std::vector<VARIANT*>&, VARIANT* result) {
      HeldStandIn control = MakeStandIn("Control" + std::to_string(made.size() + 1), &journal);
      for (const char* property : {"Caption", "DescriptionText", "Visible", "Enabled",
                                   "TooltipText", "Tag", "BeginGroup", "Style", "Picture"}) {
        control->SetText(property, L"");
      }
      control->Answer(kIidCommandBarButton);
      control->Answer(kIidCommandBarPopup);
      control->AddEvents(kDiidCommandBarButtonEvents);
      control->On("PasteFace", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
      AnswerObject(control.Get(), "Controls", controls.Get());
      made.push_back(control);
      *result = ObjectResult(control.Get());
      return S_OK;
    });
  }

  // The button tagged `tag` (each button's Tag is its caption; the
  // "Settings" pop-up has that caption too, but no tag), or null.
  StandInObject* Find(const std::string& tag) {
    for (HeldStandIn& control : made)
      if (Render(control->Property("Tag")) == "'" + tag + "'")
        return control.Get();
    return nullptr;
  }

  Journal journal;
  HeldStandIn application = MakeStandIn("Application", &journal),
              name_space = MakeStandIn("NameSpace", &journal),
              stores = MakeStandIn("Stores", &journal),
              explorer = MakeStandIn("Explorer", &journal),
              bars = MakeStandIn("CommandBars", &journal), bar = MakeStandIn("Bar", &journal),
              controls = MakeStandIn("Controls", &journal);
  std::vector<HeldStandIn> made;
};

// A button by its caption, and what its command shows first: the caption of
// its dialog, or none for the commands on the selected mail.
struct ButtonCase {
  const char* button;
  const char* dialog;
};

class AddinButtonWin : public ::testing::TestWithParam<ButtonCase> {};

TEST_P(AddinButtonWin, ClickThroughComReachesItsCommand) {
  const ButtonCase& c = GetParam();
  AddinDll dll;
  ASSERT_TRUE(dll.loaded());
  // No settings key: the add-in reads and writes no file.
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Varnox MSOutlook");
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(dll.get_class_object(kClsidVnxAddin, IID_IClassFactory,
                                 reinterpret_cast<void**>(factory.GetAddressOf())),
            S_OK);
  IDTExtensibility2* addin = nullptr;
  ASSERT_EQ(
      factory->CreateInstance(nullptr, kIidIdtExtensibility2, reinterpret_cast<void**>(&addin)),
      S_OK);
  ToolbarOnlyOutlook outlook;
  SAFEARRAY* custom = nullptr;
  ASSERT_EQ(addin->OnConnection(outlook.application.Get(), kExtCmStartup, nullptr, &custom), S_OK);
  StandInObject* button = outlook.Find(c.button);
  ASSERT_NE(button, nullptr);
  const std::size_t asked_before = outlook.journal.Matching("Explorer.Selection").size();

  ExplorerWindow explorer(200, 120, 640, 480);
  {
    DialogDriver driver([&](DialogDriver& d) {
      if (c.dialog == nullptr) {
        EXPECT_TRUE(d.NoMessageFor(explorer.window()));
        EXPECT_TRUE(d.NoMessageFor(nullptr));
        return;
      }
      HWND dialog = d.WaitForDialog(c.dialog, explorer.window());
      if (std::string_view(c.dialog) == "About") {
        EXPECT_EQ(d.Text(dialog, AboutDialog::kIdTitle), AboutDialog::kTitle);
      }
      d.PressKey(VK_ESCAPE);
      d.WaitUntilClosed(dialog);
    });
    EXPECT_EQ(ClickAsOffice(button), VARIANT_FALSE)
        << "CancelDefault is left as the host passed it";
  }
  const std::size_t asked = outlook.journal.Matching("Explorer.Selection").size() - asked_before;
  if (c.dialog == nullptr) {
    EXPECT_GE(asked, 1u) << c.button << " asked for the selection";
  } else {
    EXPECT_EQ(asked, 0u) << c.button << " opens its dialog without the selection";
  }
  EXPECT_EQ(addin->OnDisconnection(kExtDmHostShutdown, &custom), S_OK);
  addin->Release();
}

// Help and Support open a web page through the shell, which under Wine would
// start a browser; their routing is checked on the portable add-in.
INSTANTIATE_TEST_SUITE_P(
    EveryButtonWithoutABrowser, AddinButtonWin,
    ::testing::Values(ButtonCase{"Mark Spam", nullptr}, ButtonCase{"Not Spam", nullptr},
                      ButtonCase{"BlackList", "Dialog"}, ButtonCase{"WhiteList", "Dialog"},
                      ButtonCase{"Train Filter", "Train Bayesian Filter"},
                      ButtonCase{"Mail Header", nullptr}, ButtonCase{"Settings", "Settings"},
                      ButtonCase{"About", "About"}));

}  // namespace
}  // namespace varnox::win::testing
