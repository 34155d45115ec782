// A message's properties (IMessage): 8-bit string properties by tag, and
// the save that commits what was written. The core reads the transport
// headers, the plain body and the normalized subject, and writes only the
// transport headers, always as the headers it read with text appended.
#ifndef VARNOX_HOST_MESSAGE_H_
#define VARNOX_HOST_MESSAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/hresult.h"

namespace varnox::host {

// Property tags of the PT_STRING8 properties the system uses.
inline constexpr std::uint32_t kPrTransportMessageHeaders = 0x007D001E;
inline constexpr std::uint32_t kPrBody = 0x1000001E;
inline constexpr std::uint32_t kPrNormalizedSubject = 0x0E1D001E;

// IMessage::SaveChanges flag.
inline constexpr std::uint32_t kForceSave = 4;

class Message {
 public:
  virtual ~Message() = default;

  // HrGetOneProp of an 8-bit string property. On success *value holds its
  // bytes (code page 1252, no terminator; the text may hold NUL bytes). A
  // property the message does not have, or cannot give, is a failure status
  // (kMapiENotFound or another negative value); *value is then unchanged.
  virtual HResult GetStringProperty(std::uint32_t tag, std::string* value) = 0;

  // HrSetOneProp of an 8-bit string property. Not durable until SaveChanges.
  virtual HResult SetStringProperty(std::uint32_t tag, std::string_view value) = 0;

  // Whether the transport headers written here become the header block of a
  // message file (a Maildir file, an IMAP message), where every line must be
  // a header field: the pipeline then writes its black-list note as a field
  // (process_new_item.h). False for Outlook, whose property takes any text.
  virtual bool WritesHeaderFields() const = 0;

  // IMessage::SaveChanges: commits the properties written, whole or not at
  // all: a reader sees the message as it was or as written, never a part.
  // A store that cannot change a message in place saves a stamped copy in
  // its place (an IMAP store appends it, then removes the original): the
  // MailItem this message came from then names the copy (item.h). A failure
  // status leaves the stored message as it was.
  virtual HResult SaveChanges(std::uint32_t flags) = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_MESSAGE_H_
