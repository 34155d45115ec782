#include "linux/platform/console_texts.h"

#include <gtest/gtest.h>

#include <string>

#include "addin/vnx_addin.h"
#include "settings/info_dialogs.h"

namespace varnox {
namespace {

TEST(ConsoleTextsTest, TheMailClientsWordsBecomeTheConsoles) {
  const std::string_view kCoreTexts[] = {
      kStartupFailureCaption, kNameSpaceFailureText,   kRootFoldersFailureText,
      kSpamFolderFailureText, "Select Outlook Folder", AboutDialog::kNotice,
  };
  for (std::string_view core : kCoreTexts) {
    const std::string console(ConsoleText(core));
    EXPECT_NE(console, core);
    for (const char* word : {"OUTLOOK", "Outlook", "MAPI", "InitMAPI", "Settings menu"})
      EXPECT_EQ(console.find(word), std::string::npos) << core << " -> " << console;
  }
  EXPECT_EQ(ConsoleText(AboutDialog::kNotice).substr(0, AboutDialog::kTitle.size()),
            AboutDialog::kTitle);
}

TEST(ConsoleTextsTest, OtherTextsAreShownAsTheyAre) {
  for (std::string_view text :
       {"Item Added To Blacklist", "", "Select Outlook Folder ", "Spam Filter", "Database Empty"}) {
    EXPECT_EQ(ConsoleText(text), text);
  }
}

}  // namespace
}  // namespace varnox
