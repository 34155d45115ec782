// A connection's bytes, as the IMAP client reads and writes them: a socket,
// or TLS over one. Reads and writes wait for the stream's time limit at
// most; a stream that fails stays failed.
#ifndef VARNOX_LINUX_IMAP_BYTE_STREAM_H_
#define VARNOX_LINUX_IMAP_BYTE_STREAM_H_

#include <cstddef>
#include <string>

namespace varnox {

class ByteStream {
 public:
  virtual ~ByteStream() = default;

  // Reads at least one byte and at most `size`: the count, 0 when the peer
  // closed the connection, -1 on failure or when nothing came in time
  // (Error() says which).
  virtual long Read(char* buffer, std::size_t size) = 0;
  // Writes all of `data`: `size`, or -1 on failure.
  virtual long Write(const char* data, std::size_t size) = 0;
  // The descriptor to wait on for more bytes, -1 when there is none.
  virtual int WaitDescriptor() const = 0;
  // True when bytes can be read without waiting on WaitDescriptor() (TLS
  // keeps decrypted bytes of its own).
  virtual bool HasBuffered() const = 0;
  // Why the last Read or Write failed.
  virtual const std::string& Error() const = 0;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_BYTE_STREAM_H_
