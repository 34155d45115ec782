// A message held in memory as its three texts, behind the host's message
// seam, so that the mail layer's own learning rules (learning marks, the
// need for transport headers) run on it unchanged. Read-only: writing a
// property or saving is refused, so an evaluation can never stamp anything.
#ifndef VARNOX_LINUX_EVAL_TEXTS_MESSAGE_H_
#define VARNOX_LINUX_EVAL_TEXTS_MESSAGE_H_

#include "host/message.h"
#include "mime/mime_reader.h"

namespace varnox::eval {

class TextsMessage final : public host::Message {
 public:
  // `texts` must outlive the message. Absent headers read as the host's
  // "not found", as on a message that never went through transport.
  explicit TextsMessage(const mime::MimeTexts& texts) : texts_(texts) {}

  HResult GetStringProperty(std::uint32_t tag, std::string* value) override;
  HResult SetStringProperty(std::uint32_t, std::string_view) override { return kENotImpl; }
  HResult SaveChanges(std::uint32_t) override { return kENotImpl; }
  bool WritesHeaderFields() const override { return true; }

 private:
  const mime::MimeTexts& texts_;
};

}  // namespace varnox::eval

#endif  // VARNOX_LINUX_EVAL_TEXTS_MESSAGE_H_
