// The three texts of a message that the filter works on (transport headers,
// plain body, normalized subject), read through the message's string
// properties; the learning marks; and the one way the system writes into a
// message: text appended to its transport headers.
//
// Texts are 8-bit, code page 1252, and may hold any byte (NUL included).
// Nothing here shows anything: an unreadable property is only a result.
#ifndef VARNOX_MAIL_MESSAGE_TEXTS_H_
#define VARNOX_MAIL_MESSAGE_TEXTS_H_

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "host/item.h"
#include "host/message.h"
#include "platform/hresult.h"

namespace varnox {

// Marks that a message was taught to the filter earlier. The system only
// looks for them (exact case, anywhere in the headers); it never writes them.
inline constexpr std::string_view kLearnMarkSpam = "X-VNX-LEARN:Spam";
inline constexpr std::string_view kLearnMarkNotSpam = "X-VNX-LEARN:NotSpam";
// Any header text containing this is left alone by the new-mail pipeline.
inline constexpr std::string_view kLearnMarkPrefix = "X-VNX-LEARN";

// A text that could not be read is absent, never an empty stand-in.
struct MessageTexts {
  std::optional<std::string> headers;
  std::optional<std::string> body;
  std::optional<std::string> subject;
};

enum class MessageText { kHeaders, kBody, kSubject };

// Reads the texts named, in the order given, each with one property read,
// and stops at the first that cannot be read (a failure status). True when
// every text named was read; the ones read are in *texts either way.
bool ReadMessageTexts(host::Message& message, std::initializer_list<MessageText> which,
                      MessageTexts* texts);

// Reads the transport headers. Unreadable: 0, *text unchanged. Otherwise
// *text is the whole headers and, when `headers_only`, the result is 1;
// else 1 with *text = kLearnMarkSpam or kLearnMarkNotSpam when the headers
// carry that mark (Spam wins when both are there), and 0 when neither.
int FindLearnMark(host::Message& message, std::string* text, bool headers_only);

// The statuses of writing the transport headers and of saving the message.
struct HeadersWrite {
  HResult written = kSOk;
  HResult saved = kSOk;
};

// Mail Header shows one message's headers; asked for more than one, it says
// this, with no owner window.
inline constexpr std::string_view kSelectSingleMail = "Please Select a single mail";
inline constexpr std::string_view kSelectSingleMailCaption = "Varnox";

// The transport headers Mail Header shows for `item`: empty when it is no
// mail item or its message or headers cannot be had.
std::string HeadersToShow(host::Item& item);

// Writes `headers` followed directly by `text` as the transport headers and
// saves the message (FORCE_SAVE), whatever the write gave. The new-mail
// pipeline goes on as if both had worked; the statuses are its report.
HeadersWrite AppendToTransportHeaders(host::Message& message, std::string_view headers,
                                      std::string_view text);

}  // namespace varnox

#endif  // VARNOX_MAIL_MESSAGE_TEXTS_H_
