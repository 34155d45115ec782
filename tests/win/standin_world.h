// The stand-in Outlook of the add-in's end-to-end runs: one store with an
// Inbox, a Drafts and a Calendar, an explorer with command bars, an Outlook
// Bar and a selection, and new mail made as the host hands it over (a mail
// item whose MAPI message is a StandInMessage).
#ifndef VARNOX_TESTS_WIN_STANDIN_WORLD_H_
#define VARNOX_TESTS_WIN_STANDIN_WORLD_H_

#include <windows.h>

#include <wrl/client.h>

#include <string>
#include <vector>

#include "tests/win/standin_message.h"
#include "tests/win/standin_outlook.h"

namespace varnox::win::testing {

using Held = HeldStandIn;

// The explorer's Outlook Bar as Office gives it: Panes.Item(1) .Contents
// .Groups.Item(1) .Shortcuts, whose Add answers.
struct StandInOutlookBar {
  StandInOutlookBar(StandInObject* explorer, Journal* journal);

  Held panes, pane, contents, groups, group, shortcuts;
};

struct StandInOutlook {
  explicit StandInOutlook(Journal* j);

  // Controls.Add makes a button (type 1) or a pop-up (type 10).
  void AddsControls(StandInObject* controls);
  // The toolbar button with this caption, or null.
  StandInObject* Button(const std::string& caption) const;
  // Clicks the button as Office does (the button and a cancel flag); false
  // when there is no such button.
  bool Click(const std::string& caption);
  // The explorer's selection is `mail` alone.
  void Select(StandInObject* mail);

  Journal* journal;
  Held application = MakeStandIn("Application", journal),
       name_space = MakeStandIn("NameSpace", journal), roots = MakeStandIn("Roots", journal),
       store = MakeStandIn("Store", journal), top = MakeStandIn("Top", journal),
       inbox = MakeStandIn("Inbox", journal), drafts = MakeStandIn("Drafts", journal),
       calendar = MakeStandIn("Calendar", journal), spam = MakeStandIn("Spam", journal),
       inbox_items = MakeStandIn("InboxItems", journal),
       spam_items = MakeStandIn("SpamItems", journal), explorer = MakeStandIn("Explorer", journal),
       bars = MakeStandIn("CommandBars", journal), bar = MakeStandIn("Bar", journal),
       bar_controls = MakeStandIn("Controls", journal);
  StandInOutlookBar outlook_bar{explorer.Get(), journal};
  std::vector<Held> made;
  std::vector<Held> buttons;
  Held selection = MakeStandIn("Selection", journal);
};

// A new mail item named `name` over `message`: its MAPIOBJECT is the message,
// and Move answers (the journal shows where it went).
Held NewMail(const std::string& name, StandInMessage* message, Journal* journal);

}  // namespace varnox::win::testing

#endif  // VARNOX_TESTS_WIN_STANDIN_WORLD_H_
