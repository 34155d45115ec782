#include "linux/eval/texts_message.h"

namespace varnox::eval {

HResult TextsMessage::GetStringProperty(std::uint32_t tag, std::string* value) {
  switch (tag) {
    case host::kPrTransportMessageHeaders:
      if (!texts_.headers)
        return kMapiENotFound;
      *value = *texts_.headers;
      return kSOk;
    case host::kPrBody:
      *value = texts_.body;
      return kSOk;
    case host::kPrNormalizedSubject:
      *value = texts_.subject;
      return kSOk;
    default:
      return kMapiENotFound;
  }
}

}  // namespace varnox::eval
