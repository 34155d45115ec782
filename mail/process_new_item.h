// The new-mail pipeline: what happens to every item the host adds to a
// watched folder.
#ifndef VARNOX_MAIL_PROCESS_NEW_ITEM_H_
#define VARNOX_MAIL_PROCESS_NEW_ITEM_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "host/item.h"
#include "platform/hresult.h"

namespace varnox {

struct MailContext;
struct MessageInfo;

// Verdict stamps and black-list notes, appended to the transport headers
// with nothing before them.
inline constexpr std::string_view kNonEnglishSpamStamp = "X-VNX-RESULT:Non English Spam";
inline constexpr std::string_view kListedAddressNote = " is in BlackList";
inline constexpr std::string_view kListedDomainNote = " Domain is in BlackList";
// Where the headers are a message file's header block
// (Message::WritesHeaderFields), the note is the value of this field, so
// that the note stays a header line for every reader of the file.
inline constexpr std::string_view kBlackListField = "X-VNX-BLACKLIST:";

// Whether `headers` carry a verdict of the filter's ("X-VNX-RESULT"
// anywhere): the message was judged before. What a store's start-up
// catch-up asks of mail that arrived while nothing watched.
bool CarriesVerdict(std::string_view headers);

// What a text that the pipeline appended to a message's headers
// (NewItemOutcome::appended) tells: for a store that carries the verdict
// another way (an IMAP keyword), or must know before the move where a
// stamped message is going. The not-spam stamp is the only text the
// pipeline appends to mail that stays where it is; every other text (the
// spam stamps, the black list's notes) goes with mail to the spam folder.
enum class AppendedVerdict { kNotSpam, kSpam, kNonEnglishSpam, kBlackList };
AppendedVerdict VerdictOfAppended(std::string_view appended);

// The stamp the filter's verdict appends to the headers, for `spam` (1 or
// 0) and the record Classify filled: "X-VNX-RESULT:Non English Spam", or
// "X-VNX-RESULT:Spam" / "X-VNX-RESULT:NotSpam" followed by the score and the
// top words on lines of their own, CR LF between lines.
std::string FilterStamp(int spam, const MessageInfo& info);

// What the pipeline did with one item.
struct NewItemOutcome {
  // The test that decided, in the order they are applied.
  enum class Decided {
    kNothing,         // passed over (see `passedOver`)
    kWhiteList,       // left alone; learned as clean when LearnFromWhiteListed
    kBlackList,       // the note appended, moved; learned as spam when
                      // LearnFromBlackListed
    kNonEnglishRule,  // the filter's rule against runs of non-English bytes
    kFilter,          // the filter's score
  };
  // Why an item was passed over: it is then left exactly as it was.
  enum class PassedOver {
    kNo,
    kNotMail,         // not a mail item
    kNotSpamArrival,  // mail that Not Spam moved here: the user's correction
    kNoMessage,       // no message the store can read
    kLearnMark,       // "X-VNX-LEARN" in the headers: taught earlier
    kUnreadable,      // headers, body or subject cannot be read
    kOutOfMemory,     // a text too large to hold
  };

  Decided decidedBy = Decided::kNothing;
  PassedOver passedOver = PassedOver::kNo;
  int spam = 0;          // 1 for the black list and a spam verdict
  int score = 0;         // kFilter: 0 to 100
  std::string topWords;  // kFilter: as the stamp carries them
  std::string subject;   // the normalized subject, when it was read
  std::string sender;    // the sender address found; empty when none
  std::string note;      // kBlackList: the note naming the sender
  bool learned = false;  // taught to the filter (a listed sender)
  // The text appended to the transport headers (a stamp or the black
  // list's note), empty when nothing was; the statuses of writing the
  // headers and of saving the message (the pipeline goes on either way).
  std::string appended;
  HResult written = kSOk;
  HResult saved = kSOk;
  // The move to the spam folder, when one was made: its status.
  std::optional<HResult> moved;
};

// Told, once the stamp of a message that goes to the spam folder has been
// saved and before it is moved, so that a shell keeping a journal can note
// the move as due and finish it if it is stopped in between.
using BeforeSpamMove = std::function<void()>;

// Judges `item` and acts on the verdict, the first test that applies
// deciding:
// - not a mail item, no MAPI message, a learning mark ("X-VNX-LEARN"
//   anywhere in the headers), or a text that cannot be read: left alone;
// - sender white-listed by address or domain: left alone, learned as clean
//   when LearnFromWhiteListed is set;
// - sender black-listed by address or domain: a note naming the sender is
//   appended (as the X-VNX-BLACKLIST field where the store keeps message
//   files), the message moved to the spam folder, learned as spam when
//   LearnFromBlackListed is set, then a beep when BeepAtSpam is set;
// - otherwise the filter's verdict is appended; spam is moved to the spam
//   folder, after a beep when BeepAtSpam is set.
// Moves mark the message read first when MarkReadBeforeMoving is set. A
// failed move is the only thing shown (a message box). Holds a module lock
// count for the length of the call; releases every store reference it
// obtained before it returns. Never throws. Gives what it did.
NewItemOutcome ProcessNewItem(MailContext& addin, host::Item& item,
                              const BeforeSpamMove& before_spam_move = nullptr);

}  // namespace varnox

#endif  // VARNOX_MAIL_PROCESS_NEW_ITEM_H_
