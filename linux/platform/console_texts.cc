#include "linux/platform/console_texts.h"

namespace varnox {
namespace {

// The core's texts are written out here, not taken from the core's headers,
// so that the platform side depends on nothing above the platform seam;
// tests/linux/console_texts_test.cc checks each against the core's constant.

struct Substitute {
  std::string_view core;
  std::string_view console;
};

constexpr Substitute kSubstitutes[] = {
    {"OUTLOOK", "Varnox"},
    {"CVNXAddin::InitMAPI FATAL ERROR FAILED TO RETRIEVE m_NameSpace",
     "cannot open the Maildir stores"},
    {"CAddin::InitMAPI FATAL ERROR FAILED TO RETRIEVE m_RootFolders",
     "cannot list the folders of the Maildir stores"},
    {"CVNXAddin::InitMAPI FATAL ERROR FAILED TO Create Spam Folder",
     "cannot make the folder SpamFilter (.SpamFilter in the first store): is something other "
     "than a Maildir folder in its place?"},
    {"Select Outlook Folder", "Select Maildir Folder"},
    {"Varnox v1.2\n"
     "\n"
     "A Bayesian spam filter that learns from your mail.\n"
     "Help and Support are in the Settings menu.",
     "Varnox v1.2\n"
     "\n"
     "A Bayesian spam filter that learns from your mail.\n"
     "Help: varnox --help and varnox help; support: varnox support."},
};

}  // namespace

std::string_view ConsoleText(std::string_view core_text) {
  for (const Substitute& substitute : kSubstitutes) {
    if (substitute.core == core_text)
      return substitute.console;
  }
  return core_text;
}

}  // namespace varnox
