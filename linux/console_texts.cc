#include "linux/console_texts.h"

#include "host/vnx_addin.h"
#include "mail/folder_pickers.h"
#include "settings/info_dialogs.h"

namespace varnox {
namespace {

struct Substitute {
  std::string_view core;
  std::string_view console;
};

constexpr Substitute kSubstitutes[] = {
    {kStartupFailureCaption, "Varnox"},
    {kNameSpaceFailureText, "cannot open the Maildir stores"},
    {kRootFoldersFailureText, "cannot list the folders of the Maildir stores"},
    {kSpamFolderFailureText,
     "cannot make the folder SpamFilter (.SpamFilter in the first store): is something other "
     "than a Maildir folder in its place?"},
    {"Select Outlook Folder", "Select Maildir Folder"},
    {AboutDialog::kNotice,
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
