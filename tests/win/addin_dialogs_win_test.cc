// The module's COM add-in object shows its dialogs itself: a toolbar Click
// that arrives through the stand-in Office command bars opens the dialog
// from VarnoxMail.dll's own templates, owned by the window active at the
// click.
#include <windows.h>

#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/info_dialogs.h"
#include "tests/win/addin_dll.h"
#include "tests/win/dialog_driver.h"
#include "tests/win/dialog_world.h"
#include "tests/win/standin_outlook.h"
#include "win/com_ids.h"

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
    AnswerIteration(stores.Get(), {});
    AnswerObject(application.Get(), "ActiveExplorer", explorer.Get());
    AnswerObject(explorer.Get(), "CommandBars", bars.Get());
    AnswerObject(bars.Get(), "Add", bar.Get());
    bars->On("Item", [](std::vector<VARIANT*>&, VARIANT*) { return DISP_E_EXCEPTION; });
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

  // The control whose Caption was set to `caption`, or null.
  StandInObject* Find(const std::string& caption) {
    for (HeldStandIn& control : made)
      if (Render(control->Property("Caption")) == "'" + caption + "'")
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

TEST(AddinDialogsWin, AboutOpensFromItsToolbarClickThroughCom) {
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
  StandInObject* about = outlook.Find("About");
  ASSERT_NE(about, nullptr);

  ExplorerWindow explorer(200, 120, 640, 480);
  {
    DialogDriver driver([&](DialogDriver& d) {
      HWND dialog = d.WaitForDialog("About", explorer.window());
      EXPECT_EQ(d.Text(dialog, AboutDialog::kIdTitle), AboutDialog::kTitle);
      d.PressKey(VK_RETURN);
      d.WaitUntilClosed(dialog);
    });
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT cancel_arg;
    VariantInit(&cancel_arg);
    cancel_arg.vt = VT_BOOL | VT_BYREF;
    cancel_arg.pboolVal = &cancel;
    about->Raise(kDiidCommandBarButtonEvents, kDispidClick, {ObjectArg(about), cancel_arg});
    EXPECT_EQ(cancel, VARIANT_FALSE) << "CancelDefault is left as the host passed it";
  }
  EXPECT_EQ(addin->OnDisconnection(kExtDmHostShutdown, &custom), S_OK);
  addin->Release();
}

}  // namespace
}  // namespace varnox::win::testing
