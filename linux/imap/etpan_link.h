// Gives libetpan a ByteStream to talk over, through libetpan's low-level
// stream driver. libetpan parses IMAP; this link decides what it reads and
// writes through: a verified TLS stream (libetpan's own TLS does not check
// certificates) and, after STARTTLS, the TLS stream in place of the socket.
//
// It also bounds what one answer of the server may make libetpan hold: the
// bytes read since the last command was written are counted, and past the
// budget the link fails the read, so a server that announces or sends
// without end cannot make the client take unbounded memory.
#ifndef VARNOX_LINUX_IMAP_ETPAN_LINK_H_
#define VARNOX_LINUX_IMAP_ETPAN_LINK_H_

#include <libetpan/libetpan.h>

#include <cstddef>
#include <memory>
#include <string>

#include "linux/imap/byte_stream.h"

namespace varnox {

class EtpanLink {
 public:
  explicit EtpanLink(std::unique_ptr<ByteStream> stream);
  EtpanLink(const EtpanLink&) = delete;
  EtpanLink& operator=(const EtpanLink&) = delete;

  // A libetpan stream over this link, for mailimap_connect, which owns it.
  // The link must outlive it.
  mailstream* NewMailstream();

  ByteStream* stream() const { return stream_.get(); }
  // Takes the stream away (to run TLS over it) and puts another in its place.
  std::unique_ptr<ByteStream> Take() { return std::move(stream_); }
  void Put(std::unique_ptr<ByteStream> stream) { stream_ = std::move(stream); }

  // The most bytes one answer may take, from the next command written on.
  void SetBudget(std::size_t bytes) { budget_ = bytes; }
  std::size_t budget() const { return budget_; }
  // The last read failed because the answer outgrew the budget.
  bool over_budget() const { return over_budget_; }
  // Why the last read or write failed, in the stream's words.
  const std::string& error() const { return error_; }

 private:
  static ssize_t Read(mailstream_low* low, void* buffer, size_t size);
  static ssize_t Write(mailstream_low* low, const void* data, size_t size);
  static int Close(mailstream_low* low);
  static int Descriptor(mailstream_low* low);
  static void Free(mailstream_low* low);
  static void Cancel(mailstream_low* low);
  static struct mailstream_cancel* NoCancel(mailstream_low* low);
  static carray* NoCertificates(mailstream_low* low);
  static int NoIdle(mailstream_low* low);

  static mailstream_low_driver driver_;
  std::unique_ptr<ByteStream> stream_;
  std::size_t budget_ = 0;
  std::size_t used_ = 0;
  bool over_budget_ = false;
  std::string error_;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_ETPAN_LINK_H_
