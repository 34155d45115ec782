// A key of a message's content that Varnox's own changes leave as it was:
// its Message-ID and its body, not the rest of its header block. The stamps
// the pipeline adds, a mail client's Status: lines, a new file name or a new
// IMAP UID after a move or a copy keep it; a message with the same Message-ID
// and body has the same key. It finds a message again where its name
// changed (a move between IMAP folders, a renumbered IMAP folder) and tells
// a message that left one folder from one that arrived in another.
#ifndef VARNOX_MIME_CONTENT_KEY_H_
#define VARNOX_MIME_CONTENT_KEY_H_

#include <cstdint>
#include <string_view>

namespace varnox::mime {

// FNV-1a (platform/fingerprint.h) over the value of the message's first
// Message-ID field (trimmed; empty when it has none), a line feed, and its
// body: everything after the header block (mime_reader.h).
std::uint64_t ContentKey(std::string_view raw);

// The value of the first Message-ID field of `headers` (a header block),
// trimmed; empty when there is none.
std::string_view MessageIdOf(std::string_view headers);

}  // namespace varnox::mime

#endif  // VARNOX_MIME_CONTENT_KEY_H_
