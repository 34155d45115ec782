#include "mail/message_texts.h"

#include <memory>

namespace varnox {
namespace {

std::uint32_t TagOf(MessageText which) {
  switch (which) {
    case MessageText::kHeaders:
      return host::kPrTransportMessageHeaders;
    case MessageText::kBody:
      return host::kPrBody;
    case MessageText::kSubject:
      return host::kPrNormalizedSubject;
  }
  return 0;
}

std::optional<std::string>& SlotOf(MessageText which, MessageTexts* texts) {
  switch (which) {
    case MessageText::kHeaders:
      return texts->headers;
    case MessageText::kBody:
      return texts->body;
    case MessageText::kSubject:
      break;
  }
  return texts->subject;
}

bool Contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

}  // namespace

bool ReadMessageTexts(host::Message& message, std::initializer_list<MessageText> which,
                      MessageTexts* texts) {
  for (MessageText text : which) {
    std::string value;
    if (Failed(message.GetStringProperty(TagOf(text), &value)))
      return false;
    SlotOf(text, texts) = std::move(value);
  }
  return true;
}

int FindLearnMark(host::Message& message, std::string* text, bool headers_only) {
  MessageTexts texts;
  if (!ReadMessageTexts(message, {MessageText::kHeaders}, &texts))
    return 0;
  *text = std::move(*texts.headers);
  if (headers_only)
    return 1;
  for (std::string_view mark : {kLearnMarkSpam, kLearnMarkNotSpam}) {
    if (Contains(*text, mark)) {
      *text = std::string(mark);
      return 1;
    }
  }
  return 0;
}

std::string HeadersToShow(host::Item& item) {
  std::string headers;
  std::unique_ptr<host::MailItem> mail;
  std::unique_ptr<host::Message> message;
  if (Succeeded(item.QueryMailItem(&mail)) && mail != nullptr &&
      Succeeded(mail->MapiMessage(&message)) && message != nullptr)
    FindLearnMark(*message, &headers, /*headers_only=*/true);
  return headers;
}

HeadersWrite AppendToTransportHeaders(host::Message& message, std::string_view headers,
                                      std::string_view text) {
  std::string stamped;
  stamped.reserve(headers.size() + text.size());
  stamped.append(headers).append(text);
  HeadersWrite result;
  result.written = message.SetStringProperty(host::kPrTransportMessageHeaders, stamped);
  result.saved = message.SaveChanges(host::kForceSave);
  return result;
}

}  // namespace varnox
