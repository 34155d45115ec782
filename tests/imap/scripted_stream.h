// A server's side of one connection, written out beforehand: the client
// reads the script in pieces of a set size, what it writes is kept for the
// test to read, and the end of the script is the server hanging up.
#ifndef VARNOX_TESTS_IMAP_SCRIPTED_STREAM_H_
#define VARNOX_TESTS_IMAP_SCRIPTED_STREAM_H_

#include <algorithm>
#include <cstring>
#include <string>

#include "linux/imap/byte_stream.h"

namespace varnox::testing {

class ScriptedStream : public ByteStream {
 public:
  // `written`, when given, receives what the client writes.
  ScriptedStream(std::string script, std::size_t piece, std::string* written = nullptr)
      : script_(std::move(script)), piece_(std::max<std::size_t>(piece, 1)), written_(written) {}

  long Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, piece_, script_.size() - at_});
    std::memcpy(buffer, script_.data() + at_, n);
    at_ += n;
    return static_cast<long>(n);
  }
  long Write(const char* data, std::size_t size) override {
    if (written_ != nullptr)
      written_->append(data, size);
    return static_cast<long>(size);
  }
  int WaitDescriptor() const override { return -1; }
  bool HasBuffered() const override { return at_ < script_.size(); }
  const std::string& Error() const override { return error_; }

 private:
  std::string script_;
  std::size_t piece_;
  std::string* written_;
  std::size_t at_ = 0;
  std::string error_ = "the server hung up";
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_IMAP_SCRIPTED_STREAM_H_
