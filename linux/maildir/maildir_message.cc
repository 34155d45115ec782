#include "linux/maildir/maildir_message.h"

namespace varnox::maildir {
namespace {

// A rename by a mail program between finding the file and replacing it
// makes the replace fail; it is tried again under the new name this often.
constexpr int kRewriteAttempts = 3;

}  // namespace

MaildirMessage::MaildirMessage(std::shared_ptr<ItemLocation> where) : where_(std::move(where)) {}

HResult MaildirMessage::Load() {
  if (loaded_)
    return kSOk;
  const std::optional<MessageEntry> entry = where_->Resolve();
  if (!entry)
    return kMapiENotFound;
  std::string raw;
  const HResult hr =
      ReadMessageFile(MessagePath(where_->dir, *entry), kMaxMessageRead, &raw, &identity_);
  if (Failed(hr))
    return hr;
  raw_ = std::move(raw);
  block_ = mime::FindHeaderBlock(raw_);
  headers_ = mime::TransportHeaders(raw_, block_);
  texts_.reset();
  loaded_ = true;
  return kSOk;
}

HResult MaildirMessage::GetStringProperty(std::uint32_t tag, std::string* value) {
  if (tag != host::kPrTransportMessageHeaders && tag != host::kPrBody &&
      tag != host::kPrNormalizedSubject)
    return kMapiENotFound;
  if (const HResult hr = Load(); Failed(hr))
    return hr;
  if (tag == host::kPrTransportMessageHeaders) {
    const std::optional<std::string>& headers = written_headers_ ? written_headers_ : headers_;
    if (!headers)
      return kMapiENotFound;
    *value = *headers;
    return kSOk;
  }
  if (!texts_) {
    try {
      texts_ = mime::ReadMimeTexts(raw_);
    } catch (...) {
      return kEOutOfMemory;
    }
  }
  *value = tag == host::kPrBody ? texts_->body : texts_->subject;
  return kSOk;
}

HResult MaildirMessage::SetStringProperty(std::uint32_t tag, std::string_view value) {
  if (tag != host::kPrTransportMessageHeaders)
    return kENotImpl;
  if (const HResult hr = Load(); Failed(hr))
    return hr;
  const std::string_view current = headers_ ? std::string_view(*headers_) : std::string_view();
  if (!value.starts_with(current))
    return kEInvalidArg;
  written_headers_ = std::string(value);
  return kSOk;
}

std::string MaildirMessage::NewHeaderPrefix(std::string_view appended) const {
  return mime::HeaderPrefixWith(raw_, block_, appended);
}

HResult MaildirMessage::SaveChanges(std::uint32_t /*flags*/) {
  if (!written_headers_)
    return kSOk;
  // A header block longer than what was read cannot be rewritten safely.
  if (block_.end == raw_.size() && static_cast<off_t>(raw_.size()) < identity_.size)
    return kEFail;
  const std::size_t kept = headers_ ? headers_->size() : 0;
  const std::string appended = written_headers_->substr(kept);
  HResult hr = kMapiENotFound;
  try {
    const std::string prefix = NewHeaderPrefix(appended);
    for (int attempt = 0; attempt < kRewriteAttempts && hr == kMapiENotFound; ++attempt) {
      const std::optional<MessageEntry> entry = where_->Resolve();
      if (!entry)
        break;
      hr = RewriteMessage(where_->dir, MessagePath(where_->dir, *entry), prefix, block_.end,
                          identity_);
    }
  } catch (...) {
    return kEOutOfMemory;
  }
  if (Succeeded(hr)) {
    // The next read sees the file as it is now.
    written_headers_.reset();
    loaded_ = false;
  }
  return hr;
}

}  // namespace varnox::maildir
