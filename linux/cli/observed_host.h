// What `varnox watch` prints: one line per message the add-in judged; and
// what mark-spam, not-spam and train report (moves, training progress). The
// pipeline reports nothing (in the client the verdict is only in the
// message), so the command watches it work: the host objects the add-in is
// given are thin wrappers around the Maildir host's, which pass every call
// through unchanged and note, for each item that a watched folder delivers,
// the subject the pipeline read, the text it appended to the headers and
// whether it moved the message. When the add-in's handler returns, the
// observer is told.
//
// Wrappers forward and never change a result; folders handed back to the
// host (a move's destination, a folder compared) are unwrapped first. One
// thread, as the host.
#ifndef VARNOX_LINUX_CLI_OBSERVED_HOST_H_
#define VARNOX_LINUX_CLI_OBSERVED_HOST_H_

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/application.h"
#include "platform/hresult.h"

namespace varnox::cli {

// One item added to a watched folder, as the pipeline left it. Texts are
// code page 1252.
struct ObservedItem {
  std::string folder;                  // the watched folder's name
  std::optional<std::string> subject;  // as the pipeline read it, if it did
  std::string appended;                // appended to the headers; empty when none
  std::optional<HResult> move_status;  // set when the pipeline moved it
};

using ItemObserver = std::function<void(const ObservedItem&)>;

struct ItemObservers {
  // Called before each ItemAdd handler of the add-in runs, and after it;
  // `saved` when the handler saved what it appended to the item's headers
  // (before any move).
  std::function<void()> before;
  ItemObserver after;
  ItemObserver saved;
  // A selected item (the explorer's selection) was moved, with the status.
  std::function<void(HResult)> selection_moved;
  // A walk over a folder's items began (`total` items in the folder), and
  // it reached the next item (or its end: the last call).
  std::function<void(const std::string& folder, int total)> walk_started;
  std::function<void()> walk_step;
};

// Wraps `application`. The observers are kept by the wrappers.
std::unique_ptr<host::Application> ObserveApplication(
    std::unique_ptr<host::Application> application, std::shared_ptr<ItemObservers> observers);

// The verdict of an observed item in a few words ("Spam, score 97", "Non
// English Spam", "NotSpam, score 3", "black list: ..."), or nullopt when the
// pipeline wrote nothing (a white-listed sender, a message it left alone).
std::optional<std::string> VerdictOf(const ObservedItem& item);

}  // namespace varnox::cli

#endif  // VARNOX_LINUX_CLI_OBSERVED_HOST_H_
