// A platform for an engine that must leave the user's world alone: no
// settings (so no word database, ignore file or list paths), no file that can
// be read or written, nothing shown. The evaluation trains and judges with a
// filter built on it, so neither the user's word database nor any other file
// is ever touched, whatever the code on top tries.
#ifndef VARNOX_LINUX_EVAL_ISOLATED_PLATFORM_H_
#define VARNOX_LINUX_EVAL_ISOLATED_PLATFORM_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace varnox::eval {

class IsolatedPlatform {
 public:
  IsolatedPlatform();
  IsolatedPlatform(const IsolatedPlatform&) = delete;
  IsolatedPlatform& operator=(const IsolatedPlatform&) = delete;

  // Valid as long as this object lives.
  const Platform& platform() const { return platform_; }
  // Number of times anything tried to show a message or beep: 0 in a sound
  // run (the engine shows a message only when a save fails).
  int messagesShown() const { return ui_.shown; }

 private:
  // No settings key: every setting reads as absent.
  class NoRegistry final : public Registry {
   public:
    std::int32_t OpenCurrentUserKey(std::string_view, std::unique_ptr<RegistryKey>*) override {
      return kErrorFileNotFound;
    }
  };
  // Every read and write refused.
  class NoFiles final : public FileSystem {
   public:
    bool ReadWholeFile(const std::string&, std::string* contents) override;
    bool ReplaceWholeFile(const std::string&, std::string_view) override { return false; }
    bool Exists(const std::string&) override { return false; }
  };
  class SilentUserInterface final : public UserInterface {
   public:
    int ShowMessage(std::string_view, std::string_view, std::uint32_t) override;
    void Beep(std::uint32_t) override { ++shown; }
    void OpenPage(std::string_view) override { ++shown; }
    int shown = 0;
  };
  class NoDialogs final : public DialogRunner {
   public:
    int RunModal(DialogController&) override { return -1; }
  };

  NoRegistry registry_;
  SystemClock clock_;
  NoFiles files_;
  SilentUserInterface ui_;
  NoButtonFaces faces_;
  NoDialogs dialogs_;
  Platform platform_;
};

}  // namespace varnox::eval

#endif  // VARNOX_LINUX_EVAL_ISOLATED_PLATFORM_H_
