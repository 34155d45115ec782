// The world of a driven dialog test under Wine: the add-in module's
// templates, an explorer window standing in for the host's (active, so that
// dialogs are owned by it), the settings key in the real registry with data
// files in a fresh folder, the Win32 platform with the real dialog runner,
// and the add-in connected to a fake host whose toolbar clicks run the
// commands.
#ifndef VARNOX_TESTS_WIN_DIALOG_WORLD_H_
#define VARNOX_TESTS_WIN_DIALOG_WORLD_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "addin/vnx_addin.h"
#include "platform/platform.h"
#include "tests/fakes/fake_host.h"
#include "win/dialogs/win_dialog_runner.h"
#include "win/platform/win_registry.h"
#include "win/platform/win_user_interface.h"

namespace varnox::win::testing {

using ::varnox::testing::FakeControl;
using ::varnox::testing::FakeFolder;
using ::varnox::testing::FakeHost;
using ::varnox::testing::FakeItem;

// The loaded add-in module (VarnoxMail.dll), whose resources hold the
// dialog templates and pictures; loaded once for the whole program.
HINSTANCE AddinModule();

// A visible top-level window standing in for the host's explorer.
class ExplorerWindow {
 public:
  ExplorerWindow(int x, int y, int width, int height);
  ~ExplorerWindow();
  ExplorerWindow(const ExplorerWindow&) = delete;
  ExplorerWindow& operator=(const ExplorerWindow&) = delete;
  HWND window() const { return window_; }
  // Makes it the active window of this thread.
  void Activate();

 private:
  HWND window_;
};

class DialogWorld {
 public:
  // Lays down the settings key with the four file paths (words.db,
  // ignore.txt, black.xml, white.xml in a new folder of their own). The lists
  // start with the entries given: those that begin with '@' are domains, the
  // others addresses.
  explicit DialogWorld(const std::vector<std::string>& black_entries = {},
                       const std::vector<std::string>& white_entries = {});
  ~DialogWorld();

  // Connects the add-in to the host as it stands; the test adds folders and
  // mail before.
  CVNXAddin& Connect();
  // The toolbar control with this caption (pop-up items included) clicked
  // as a user would; returns when its command has finished.
  void Click(std::string_view caption);

  std::string FilePath(std::string_view name) const;
  std::string ReadFile(std::string_view name) const;
  // A setting as the registry holds it ("<absent>" when it is not there).
  static std::string StringSetting(const char* name);
  static std::string DwordSetting(const char* name);
  static void SetStringSetting(const char* name, const std::string& value);
  static void SetDwordSetting(const char* name, DWORD value);

  ExplorerWindow explorer{120, 80, 900, 640};
  WinDialogRunner dialogs{AddinModule()};
  WinUserInterface ui{L""};  // no pages: Help and Support are not clicked here
  NoButtonFaces faces;
  SystemClock clock;
  const Platform platform{CurrentUserRegistry(), clock, RealFileSystem(), ui, faces, dialogs,
                          SystemXmlParser()};
  FakeHost host;
  FakeFolder& store = host.AddTypicalStore("Personal Folders");
  FakeFolder& inbox = *store.Find("Inbox");
  std::unique_ptr<CVNXAddin> addin;

 private:
  std::string folder_;
};

}  // namespace varnox::win::testing

#endif  // VARNOX_TESTS_WIN_DIALOG_WORLD_H_
