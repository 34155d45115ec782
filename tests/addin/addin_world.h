// The world of an add-in test: platform fakes (settings key with the four
// file paths, empty sender lists, the user interface journaled into the
// host's calls, faces that carry their icon ids), a fake host with one
// typical store, and the add-in, made on demand.
#ifndef VARNOX_TESTS_ADDIN_ADDIN_WORLD_H_
#define VARNOX_TESTS_ADDIN_ADDIN_WORLD_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "addin/vnx_addin.h"
#include "tests/fakes/fake_button_faces.h"
#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_platform.h"

namespace varnox::testing {

inline constexpr char kWordFile[] = "words.db";
inline constexpr char kIgnoreFile[] = "ignore.txt";

// A sender list file with these address entries.
inline std::string ListFileWithAddresses(const std::vector<std::string>& addresses) {
  std::string xml = "<?xml version=\"1.0\" ?>\n<List>\n";
  for (const std::string& address : addresses)
    xml += "  <MailID Name=\"" + address + "\" />\n";
  return xml + "</List>\n";
}

class AddinWorld {
 public:
  AddinWorld() {
    fakes.registry.CreateKey();
    fakes.registry.SetString(setting::kWordFilePath, kWordFile);
    fakes.registry.SetString(setting::kIgnoreFilePath, kIgnoreFile);
    fakes.registry.SetString(setting::kBlackListPath, "black.xml");
    fakes.registry.SetString(setting::kWhiteListPath, "white.xml");
    fakes.files.files["black.xml"] = ListFileWithAddresses({});
    fakes.files.files["white.xml"] = ListFileWithAddresses({});
  }

  // The add-in, constructed (lists loaded) but not connected.
  CVNXAddin& Addin() {
    if (addin == nullptr)
      addin = std::make_unique<CVNXAddin>(platform);
    return *addin;
  }

  // The add-in after an OnConnection that must succeed.
  CVNXAddin& Connected() {
    CVNXAddin& made = Addin();
    EXPECT_EQ(made.OnConnection(host.ApplicationRef()), kSOk);
    return made;
  }

  // The message boxes shown so far, as "caption: text".
  std::vector<std::string> Messages() const {
    std::vector<std::string> shown;
    for (const FakeUserInterface::Shown& message : fakes.ui.messages)
      shown.push_back(message.caption + ": " + message.text);
    return shown;
  }

  FakePlatform fakes;
  FakeButtonFaces faces;
  FakeHost host;
  FakeFolder& store = host.AddTypicalStore("Personal Folders");
  FakeFolder& inbox = *store.Find("Inbox");

 private:
  std::unique_ptr<UserInterface> journaling_ui_ = host.JournalingUserInterface(fakes.ui);

 public:
  const Platform platform{fakes.registry, fakes.clock,   fakes.files, *journaling_ui_,
                          faces,          fakes.dialogs, fakes.xml};
  // Last, so that it goes first: the services above outlive it.
  std::unique_ptr<CVNXAddin> addin;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_ADDIN_ADDIN_WORLD_H_
