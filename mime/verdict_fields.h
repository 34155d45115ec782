// The header fields the filter writes into a message's header block: the
// verdict stamp (X-VNX-RESULT, X-VNX-SCORE, X-VNX-TOP-WORDS) and, where a
// store keeps whole message files, X-VNX-BLACKLIST carrying the black list's
// note. Anyone can write these fields into a message before it arrives, and
// a mail client or a delivery rule that reads the first occurrence would
// believe the sender; so a store that writes the message itself removes
// every one that came with the message before it adds its own
// (HeaderPrefixWith, mime_reader.h). X-VNX-LEARN is not among them: it is the
// mark of a message taught to the filter, and keeps its meaning.
#ifndef VARNOX_MIME_VERDICT_FIELDS_H_
#define VARNOX_MIME_VERDICT_FIELDS_H_

#include <string_view>

namespace varnox::mime {

// Whether `line`, the first line of a header field, begins one of the fields
// above: the field's name in any letter case, then the colon, with spaces or
// tabs allowed before it (as mail parsers read such a line).
bool IsVerdictField(std::string_view line);

}  // namespace varnox::mime

#endif  // VARNOX_MIME_VERDICT_FIELDS_H_
