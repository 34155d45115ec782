// TLS over a socket, with the server's certificate checked whole by GnuTLS
// before a byte of IMAP goes over it: the chain up to a trusted authority
// and the server's name, or else the certificate's own fingerprint. The
// IMAP library reads and writes through this stream and never sees the
// socket, so an unverified connection cannot be used by mistake.
#ifndef VARNOX_LINUX_IMAP_TLS_STREAM_H_
#define VARNOX_LINUX_IMAP_TLS_STREAM_H_

#include <gnutls/gnutls.h>

#include <memory>
#include <string>

#include "linux/imap/byte_stream.h"
#include "linux/imap/imap_result.h"
#include "linux/imap/socket_stream.h"

namespace varnox {

// What makes a server's certificate acceptable.
struct TlsTrust {
  std::string host;  // the name (or address) the certificate must be for
  // PEM file of the authorities to trust; empty: the system's authorities.
  std::string ca_file;
  // SHA-256 of the server's own certificate, 64 lower-case hex digits. When
  // set, that certificate alone is accepted, whoever signed it and for
  // whichever name (the user has checked it by other means).
  std::string fingerprint;
};

class TlsStream : public ByteStream {
 public:
  // Runs the handshake over `plain` and checks the certificate. On failure
  // nullptr, and *result says why: kCertificate when the certificate is
  // refused (the text names the host and the reason), kNetwork when the
  // connection or the handshake failed.
  static std::unique_ptr<TlsStream> Start(std::unique_ptr<SocketStream> plain,
                                          const TlsTrust& trust, ImapResult* result);
  ~TlsStream() override;
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  long Read(char* buffer, std::size_t size) override;
  long Write(const char* data, std::size_t size) override;
  int WaitDescriptor() const override { return plain_->fd(); }
  bool HasBuffered() const override;
  const std::string& Error() const override { return error_; }

 private:
  TlsStream(std::unique_ptr<SocketStream> plain, gnutls_certificate_credentials_t credentials,
            gnutls_session_t session);
  // Waits for the direction GnuTLS is blocked on; false when time is up.
  bool WaitForSession();

  std::unique_ptr<SocketStream> plain_;
  gnutls_certificate_credentials_t credentials_;
  gnutls_session_t session_;
  std::string error_;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_TLS_STREAM_H_
