// A message's MAPI side (IMessage): 8-bit string properties by tag, and the
// save that commits what was written.
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

  // IMessage::SaveChanges: commits the properties written.
  virtual HResult SaveChanges(std::uint32_t flags) = 0;
};

}  // namespace varnox::host

#endif  // VARNOX_HOST_MESSAGE_H_
