#include "mail/process_new_item.h"

#include <exception>
#include <string>

#include "engine/message_info.h"
#include "mail/mail_context.h"
#include "mail/message_texts.h"
#include "mail/sender_address.h"
#include "mail/spam_move.h"
#include "platform/module_lock.h"
#include "platform/user_interface.h"

namespace varnox {
namespace {

// The field of every verdict stamp.
constexpr std::string_view kVerdictField = "X-VNX-RESULT";

// Caption of the failed-move message of the pipeline.
constexpr std::string_view kSpamFilterCaption = "Spam Filter";

void BeepIfAsked(MailContext& addin) {
  if (addin.settings.BeepAtSpam() != 0)
    addin.platform.ui.Beep(kBeepExclamation);
}

// The sender as the lists see it.
struct Sender {
  std::string address;  // empty when the headers name none
  std::string domain;   // DomainKey(address)
};

bool IsWhiteListed(MailContext& addin, const Sender& sender) {
  return addin.whiteList.ContainsAddress(sender.address) ||
         addin.whiteList.ContainsDomain(sender.domain);
}

bool IsBlackListed(MailContext& addin, const Sender& sender) {
  return addin.blackList.ContainsAddress(sender.address) ||
         addin.blackList.ContainsDomain(sender.domain);
}

// The black list's note: which of the sender's entries put it there (the
// address lookup is asked again, since either lookup may have matched).
std::string BlackListNote(MailContext& addin, const Sender& sender) {
  return sender.address + std::string(addin.blackList.ContainsAddress(sender.address)
                                          ? kListedAddressNote
                                          : kListedDomainNote);
}

// An item that Not Spam moved here. The host is asked for the item's
// identity only while some move awaits its arrival.
bool IsNotSpamArrival(MailContext& addin, host::MailItem& mail) {
  if (addin.notSpamMoves.empty())
    return false;
  std::string identity;
  return Succeeded(mail.Identity(&identity)) && addin.notSpamMoves.TakeArrival(identity);
}

using Decided = NewItemOutcome::Decided;
using PassedOver = NewItemOutcome::PassedOver;

// Appends `text` to the headers read, and moves the message to the spam
// folder when it is spam, telling `before_spam_move` in between once the
// stamp is saved.
void Stamp(MailContext& addin, host::MailItem& mail, host::Message& message,
           const std::string& headers, std::string text, const BeforeSpamMove& before_spam_move,
           NewItemOutcome& outcome) {
  const HeadersWrite write = AppendToTransportHeaders(message, headers, text);
  outcome.appended = std::move(text);
  outcome.written = write.written;
  outcome.saved = write.saved;
  if (outcome.spam == 0)
    return;
  if (Succeeded(write.saved) && before_spam_move)
    before_spam_move();
  outcome.moved = MoveToSpamFolder(addin, mail, kSpamFilterCaption);
}

void Judge(MailContext& addin, host::Item& item, const BeforeSpamMove& before_spam_move,
           NewItemOutcome& outcome) {
  std::unique_ptr<host::MailItem> mail;
  if (Failed(item.QueryMailItem(&mail)) || mail == nullptr) {
    outcome.passedOver = PassedOver::kNotMail;
    return;
  }
  // The user's own correction arriving: it keeps its stamps and its place.
  if (IsNotSpamArrival(addin, *mail)) {
    outcome.passedOver = PassedOver::kNotSpamArrival;
    return;
  }
  std::unique_ptr<host::Message> message;
  if (Failed(mail->MapiMessage(&message)) || message == nullptr) {
    outcome.passedOver = PassedOver::kNoMessage;
    return;
  }

  // A message taught to the filter earlier is not judged again.
  std::string mark;
  outcome.passedOver = PassedOver::kLearnMark;
  if (FindLearnMark(*message, &mark, false) == 1)
    return;
  MessageTexts texts;
  outcome.passedOver = PassedOver::kUnreadable;
  if (!ReadMessageTexts(*message, {MessageText::kHeaders}, &texts))
    return;
  const std::string& headers = *texts.headers;
  outcome.passedOver = PassedOver::kLearnMark;
  if (headers.find(kLearnMarkPrefix) != std::string::npos)
    return;
  outcome.passedOver = PassedOver::kUnreadable;
  if (!ReadMessageTexts(*message, {MessageText::kBody, MessageText::kSubject}, &texts))
    return;
  outcome.passedOver = PassedOver::kNo;
  std::string& body = *texts.body;
  std::string& subject = *texts.subject;
  outcome.subject = subject;

  Sender sender;
  ExtractSenderAddress(headers, &sender.address);
  sender.domain = DomainKey(sender.address);
  outcome.sender = sender.address;

  if (IsWhiteListed(addin, sender)) {
    outcome.decidedBy = Decided::kWhiteList;
    if (addin.settings.LearnFromWhiteListed() != 0) {
      addin.filter.Learn(std::move(body), std::move(subject), 0, headers);
      outcome.learned = true;
    }
    return;
  }

  if (IsBlackListed(addin, sender)) {
    outcome.decidedBy = Decided::kBlackList;
    outcome.spam = 1;
    outcome.note = BlackListNote(addin, sender);
    if (addin.settings.LearnFromBlackListed() != 0) {
      addin.filter.Learn(std::move(body), std::move(subject), 1, headers);
      outcome.learned = true;
    }
    // A line without a field name would end a message file's header block
    // for its readers: there the note is a field's value.
    std::string text =
        message->WritesHeaderFields() ? std::string(kBlackListField) + outcome.note : outcome.note;
    Stamp(addin, *mail, *message, headers, std::move(text), before_spam_move, outcome);
    BeepIfAsked(addin);
    return;
  }

  MessageInfo info;
  info.subject = std::move(subject);
  info.headers = headers;
  outcome.spam = addin.filter.Classify(std::move(body), info) != 0 ? 1 : 0;
  outcome.decidedBy = info.nonEnglish != 0 ? Decided::kNonEnglishRule : Decided::kFilter;
  outcome.score = info.score;
  outcome.topWords = info.topWords;
  if (outcome.spam != 0)
    BeepIfAsked(addin);
  Stamp(addin, *mail, *message, headers, FilterStamp(outcome.spam, info), before_spam_move,
        outcome);
}

// "X-VNX-RESULT:<result>", then the score and the top words on lines of
// their own. `topWords` brings its own CR LF when it is not empty.
std::string VerdictStamp(std::string_view result, const MessageInfo& info) {
  std::string stamp = "X-VNX-RESULT:";
  stamp.append(result)
      .append("\r\nX-VNX-SCORE:")
      .append(std::to_string(info.score))
      .append("\r\nX-VNX-TOP-WORDS:")
      .append(info.topWords);
  return stamp;
}

std::string SpamStamp(const MessageInfo& info) {
  return info.nonEnglish != 0 ? std::string(kNonEnglishSpamStamp) : VerdictStamp("Spam", info);
}

}  // namespace

bool CarriesVerdict(std::string_view headers) {
  return headers.find(kVerdictField) != std::string_view::npos;
}

AppendedVerdict VerdictOfAppended(std::string_view appended) {
  // A stamp's first line ends with CR LF; a note has no line end at all (an
  // address holding CR or LF is no address), so no note reads as a stamp
  // whatever the sender's address.
  if (appended == kNonEnglishSpamStamp)
    return AppendedVerdict::kNonEnglishSpam;
  if (appended.starts_with("X-VNX-RESULT:NotSpam\r\n"))
    return AppendedVerdict::kNotSpam;
  if (appended.starts_with("X-VNX-RESULT:Spam\r\n"))
    return AppendedVerdict::kSpam;
  return AppendedVerdict::kBlackList;
}

std::string FilterStamp(int spam, const MessageInfo& info) {
  return spam != 0 ? SpamStamp(info) : VerdictStamp("NotSpam", info);
}

NewItemOutcome ProcessNewItem(MailContext& addin, host::Item& item,
                              const BeforeSpamMove& before_spam_move) {
  ModuleLockHolder lock;
  NewItemOutcome outcome;
  try {
    Judge(addin, item, before_spam_move, outcome);
  } catch (const std::exception&) {
    // Out of memory for a huge message: it stays as it is, like a message
    // whose texts cannot be read. Nothing may escape into the host's event.
    outcome.passedOver = PassedOver::kOutOfMemory;
  }
  return outcome;
}

}  // namespace varnox
