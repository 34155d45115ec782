#include "mail/message_learning.h"

#include <exception>

#include "mail/mail_context.h"
#include "mail/message_texts.h"

namespace varnox {

// Each entry catches what the standard library may throw (memory for a huge
// text): the message is then not taught, as if it could not be read.

int LearnFromMessage(MailContext& addin, host::Message& message, int spam) {
  try {
    MessageTexts texts;
    if (!ReadMessageTexts(message, {MessageText::kHeaders}, &texts))
      return 0;
    if (texts.headers->find(kLearnMarkSpam) != std::string::npos)
      return 0;
    if (!ReadMessageTexts(message, {MessageText::kBody, MessageText::kSubject}, &texts))
      return 0;
    addin.filter.Learn(std::move(*texts.body), std::move(*texts.subject), spam, *texts.headers);
    return 1;
  } catch (const std::exception&) {
    return 0;
  }
}

int RelearnFromMessage(MailContext& addin, host::Message& message, int spam,
                       std::string_view headers) {
  try {
    MessageTexts texts;
    if (!ReadMessageTexts(message, {MessageText::kBody, MessageText::kSubject}, &texts))
      return 0;
    addin.filter.Relearn(std::move(*texts.body), std::move(*texts.subject), spam, headers);
    return 1;
  } catch (const std::exception&) {
    return 0;
  }
}

int LearnOrRelearn(MailContext& addin, host::Message& message, int spam) {
  // The mark search's one read of the headers, kept for the second judge.
  std::string headers;
  bool marked = false;
  try {
    marked = FindLearnMark(message, &headers, true) == 1 &&
             (headers.find(kLearnMarkSpam) != std::string::npos ||
              headers.find(kLearnMarkNotSpam) != std::string::npos);
  } catch (const std::exception&) {
    return 0;
  }
  return marked ? RelearnFromMessage(addin, message, spam, headers)
                : LearnFromMessage(addin, message, spam);
}

}  // namespace varnox
