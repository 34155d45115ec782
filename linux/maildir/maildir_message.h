// A message file as the host's IMessage: its three string properties read
// through the MIME reader, and the transport headers written back into the
// file by SaveChanges.
//
// The file is read once, at the first property read. Writing the headers
// is supported as the core does it: the new value must begin with the
// value read (text appended to it); anything else is refused with
// kEInvalidArg, so that no write can drop a header of the file. The body
// and subject are not written (kENotImpl).
//
// SaveChanges rewrites the file with the appended text at the end of its
// header block, in the file's own line-end convention and ended by a line
// end, followed by the rest of the file byte for byte; see RewriteMessage
// for how this is atomic. A file that a mail program renamed meanwhile is
// followed under its new name; one it deleted or rewrote is left alone
// (a failure status).
#ifndef VARNOX_LINUX_MAILDIR_MAILDIR_MESSAGE_H_
#define VARNOX_LINUX_MAILDIR_MAILDIR_MESSAGE_H_

#include <memory>
#include <optional>
#include <string>

#include "host/message.h"
#include "linux/maildir/maildir_objects.h"
#include "linux/maildir/message_file.h"
#include "mime/mime_reader.h"

namespace varnox::maildir {

class MaildirMessage final : public host::Message {
 public:
  explicit MaildirMessage(std::shared_ptr<ItemLocation> where);

  HResult GetStringProperty(std::uint32_t tag, std::string* value) override;
  HResult SetStringProperty(std::uint32_t tag, std::string_view value) override;
  HResult SaveChanges(std::uint32_t flags) override;
  // The headers are the file's header block.
  bool WritesHeaderFields() const override { return true; }

 private:
  HResult Load();
  std::string NewHeaderPrefix(std::string_view appended) const;

  std::shared_ptr<ItemLocation> where_;
  bool loaded_ = false;
  std::string raw_;
  FileIdentity identity_;
  mime::HeaderBlock block_;
  std::optional<std::string> headers_;
  std::optional<mime::MimeTexts> texts_;  // body and subject, read at first use
  std::optional<std::string> written_headers_;
};

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_MAILDIR_MESSAGE_H_
