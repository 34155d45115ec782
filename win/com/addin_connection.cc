#include "win/com/addin_connection.h"

#include "addin/vnx_addin.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/xml_document.h"
#include "win/com/module.h"
#include "win/dialogs/win_dialog_runner.h"
#include "win/outlook/outlook_session.h"
#include "win/platform/win_button_faces.h"
#include "win/platform/win_registry.h"
#include "win/platform/win_user_interface.h"

namespace varnox::win {
namespace {

class PortableAddin final : public AddinConnection {
 public:
  explicit PortableAddin(ComAddin& com)
      : session_(std::make_shared<OutlookSession>(com.sinks(), faces_)), addin_(platform_) {}

  HRESULT OnConnection(IDispatch* application) override {
    return addin_.OnConnection(session_->WrapApplication(application));
  }
  HRESULT OnDisconnection() override { return addin_.OnDisconnection(); }

 private:
  // Declared before the add-in, destroyed after it: its teardown (the word
  // database save, cancelling what is still subscribed) uses them all.
  SystemClock clock_;
  WinUserInterface ui_{FolderOf(ModulePathWide())};  // the pages lie beside the module
  WinButtonFaces faces_{ModuleInstance()};
  WinDialogRunner dialogs_{ModuleInstance()};  // templates in this module
  Platform platform_{CurrentUserRegistry(), clock_, RealFileSystem(), ui_, faces_, dialogs_,
                     SystemXmlParser()};
  std::shared_ptr<OutlookSession> session_;
  CVNXAddin addin_;
};

}  // namespace

std::unique_ptr<AddinConnection> MakePortableAddin(ComAddin& addin) {
  return std::make_unique<PortableAddin>(addin);
}

}  // namespace varnox::win
