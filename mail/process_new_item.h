// The new-mail pipeline: what happens to every item the host adds to a
// watched folder.
#ifndef VARNOX_MAIL_PROCESS_NEW_ITEM_H_
#define VARNOX_MAIL_PROCESS_NEW_ITEM_H_

#include <string>
#include <string_view>

#include "host/item.h"

namespace varnox {

struct MailContext;
struct MessageInfo;

// Verdict stamps and black-list notes, appended to the transport headers
// with nothing before them.
inline constexpr std::string_view kNonEnglishSpamStamp = "X-VNX-RESULT:Non English Spam";
inline constexpr std::string_view kListedAddressNote = " is in BlackList";
inline constexpr std::string_view kListedDomainNote = " Domain is in BlackList";

// The stamp the filter's verdict appends to the headers, for `spam` (1 or
// 0) and the record Classify filled: "X-VNX-RESULT:Non English Spam", or
// "X-VNX-RESULT:Spam" / "X-VNX-RESULT:NotSpam" followed by the score and the
// top words on lines of their own, CR LF between lines.
std::string FilterStamp(int spam, const MessageInfo& info);

// Judges `item` and acts on the verdict, the first test that applies
// deciding:
// - not a mail item, no MAPI message, a learning mark ("X-VNX-LEARN"
//   anywhere in the headers), or a text that cannot be read: left alone;
// - sender white-listed by address or domain: left alone, learned as clean
//   when LearnFromWhiteListed is set;
// - sender black-listed by address or domain: a note naming the sender is
//   appended, the message moved to the spam folder, learned as spam when
//   LearnFromBlackListed is set, then a beep when BeepAtSpam is set;
// - otherwise the filter's verdict is appended; spam is moved to the spam
//   folder, after a beep when BeepAtSpam is set.
// Moves mark the message read first when MarkReadBeforeMoving is set. A
// failed move is the only thing shown (a message box). Holds a module lock
// count for the length of the call; releases every host reference it
// obtained before it returns. Never throws.
void ProcessNewItem(MailContext& addin, host::Item& item);

}  // namespace varnox

#endif  // VARNOX_MAIL_PROCESS_NEW_ITEM_H_
