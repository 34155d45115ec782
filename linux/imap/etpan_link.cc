#include "linux/imap/etpan_link.h"

#include <cstdlib>

namespace varnox {
namespace {

// libetpan reads in pieces of this size into a buffer of its own.
constexpr std::size_t kReadBufferBytes = 16384;

EtpanLink* LinkOf(mailstream_low* low) {
  return static_cast<EtpanLink*>(low->data);
}

}  // namespace

mailstream_low_driver EtpanLink::driver_ = {
    &EtpanLink::Read,   &EtpanLink::Write,  &EtpanLink::Close,    &EtpanLink::Descriptor,
    &EtpanLink::Free,   &EtpanLink::Cancel, &EtpanLink::NoCancel, &EtpanLink::NoCertificates,
    &EtpanLink::NoIdle, &EtpanLink::NoIdle, &EtpanLink::NoIdle,
};

EtpanLink::EtpanLink(std::unique_ptr<ByteStream> stream) : stream_(std::move(stream)) {}

mailstream* EtpanLink::NewMailstream() {
  mailstream_low* low = mailstream_low_new(this, &driver_);
  if (low == nullptr)
    return nullptr;
  mailstream* stream = mailstream_new(low, kReadBufferBytes);
  if (stream == nullptr)
    mailstream_low_free(low);
  return stream;
}

ssize_t EtpanLink::Read(mailstream_low* low, void* buffer, size_t size) {
  EtpanLink* link = LinkOf(low);
  if (link->stream_ == nullptr || link->over_budget_)
    return -1;
  const long n = link->stream_->Read(static_cast<char*>(buffer), size);
  if (n < 0) {
    link->error_ = link->stream_->Error();
    return -1;
  }
  if (n == 0) {
    // Reported as a failure, not as the end: libetpan reads a literal cut
    // short by the end of the stream again and again without end.
    link->error_ = "the server closed the connection";
    return -1;
  }
  link->used_ += static_cast<std::size_t>(n);
  if (link->budget_ != 0 && link->used_ > link->budget_) {
    link->over_budget_ = true;
    link->error_ = "the server's answer is larger than the " + std::to_string(link->budget_) +
                   " bytes allowed";
    return -1;
  }
  return n;
}

ssize_t EtpanLink::Write(mailstream_low* low, const void* data, size_t size) {
  EtpanLink* link = LinkOf(low);
  if (link->stream_ == nullptr)
    return -1;
  link->used_ = 0;
  const long n = link->stream_->Write(static_cast<const char*>(data), size);
  if (n < 0) {
    link->error_ = link->stream_->Error();
    return -1;
  }
  return n;
}

int EtpanLink::Close(mailstream_low*) {
  // The link's owner closes the stream; libetpan's close only lets go.
  return 0;
}

int EtpanLink::Descriptor(mailstream_low* low) {
  EtpanLink* link = LinkOf(low);
  return link->stream_ == nullptr ? -1 : link->stream_->WaitDescriptor();
}

void EtpanLink::Free(mailstream_low* low) {
  // mailstream_low_new allocated it with malloc; the link is its owner's.
  std::free(low);
}

void EtpanLink::Cancel(mailstream_low*) {}

struct mailstream_cancel* EtpanLink::NoCancel(mailstream_low*) {
  return nullptr;
}

carray* EtpanLink::NoCertificates(mailstream_low*) {
  return nullptr;
}

int EtpanLink::NoIdle(mailstream_low*) {
  return -1;  // libetpan's word for "wait on the descriptor instead"
}

}  // namespace varnox
