#include "linux/imap/tls_stream.h"

#include <arpa/inet.h>
#include <poll.h>

#include <cstring>

namespace varnox {
namespace {

bool IsAddress(const std::string& host) {
  unsigned char buffer[sizeof(struct in6_addr)];
  return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '.'))
    text.pop_back();
  return text;
}

// GnuTLS's own words for a verification status.
std::string VerificationText(unsigned status) {
  gnutls_datum_t out = {nullptr, 0};
  if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &out, 0) < 0)
    return "it could not be verified";
  std::string text(reinterpret_cast<const char*>(out.data), out.size);
  gnutls_free(out.data);
  return Trimmed(std::move(text));
}

std::string LeafFingerprint(gnutls_session_t session) {
  unsigned count = 0;
  const gnutls_datum_t* chain = gnutls_certificate_get_peers(session, &count);
  if (chain == nullptr || count == 0)
    return {};
  unsigned char digest[32];
  std::size_t size = sizeof digest;
  if (gnutls_fingerprint(GNUTLS_DIG_SHA256, &chain[0], digest, &size) < 0 || size != 32)
    return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) {
    hex.push_back(kHex[byte >> 4]);
    hex.push_back(kHex[byte & 15]);
  }
  return hex;
}

}  // namespace

std::unique_ptr<TlsStream> TlsStream::Start(std::unique_ptr<SocketStream> plain,
                                            const TlsTrust& trust, ImapResult* result) {
  const std::string& host = trust.host;
  gnutls_certificate_credentials_t credentials = nullptr;
  if (gnutls_certificate_allocate_credentials(&credentials) < 0) {
    *result = ImapFailure(ImapStatus::kNetwork, "TLS cannot start: out of memory");
    return nullptr;
  }
  if (trust.fingerprint.empty()) {
    const int loaded = trust.ca_file.empty()
                           ? gnutls_certificate_set_x509_system_trust(credentials)
                           : gnutls_certificate_set_x509_trust_file(
                                 credentials, trust.ca_file.c_str(), GNUTLS_X509_FMT_PEM);
    if (loaded <= 0) {
      gnutls_certificate_free_credentials(credentials);
      *result = ImapFailure(
          ImapStatus::kCertificate,
          trust.ca_file.empty()
              ? "the certificate of " + host +
                    " cannot be checked: this system has no certificate authorities "
                    "(install ca-certificates, or name a ca-file or fingerprint in the account)"
              : "the certificate of " + host + " cannot be checked: ca-file " + trust.ca_file +
                    " holds no PEM certificate" +
                    (loaded < 0 ? std::string(" (") + gnutls_strerror(loaded) + ")" : ""));
      return nullptr;
    }
  }
  gnutls_session_t session = nullptr;
  if (gnutls_init(&session, GNUTLS_CLIENT | GNUTLS_NONBLOCK) < 0) {
    gnutls_certificate_free_credentials(credentials);
    *result = ImapFailure(ImapStatus::kNetwork, "TLS cannot start: out of memory");
    return nullptr;
  }
  std::unique_ptr<TlsStream> stream(new TlsStream(std::move(plain), credentials, session));
  gnutls_set_default_priority(session);
  gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
  if (!IsAddress(host))
    gnutls_server_name_set(session, GNUTLS_NAME_DNS, host.data(), host.size());
  // The chain and the name are checked inside the handshake, which fails
  // when either is wrong.
  if (trust.fingerprint.empty())
    gnutls_session_set_verify_cert(session, host.c_str(), 0);
  gnutls_transport_set_int(session, stream->plain_->fd());

  int shaken;
  do {
    shaken = gnutls_handshake(session);
    if (shaken == GNUTLS_E_AGAIN || shaken == GNUTLS_E_INTERRUPTED) {
      if (!stream->WaitForSession()) {
        *result =
            ImapFailure(ImapStatus::kNetwork, "TLS with " + host + " failed: " + stream->error_);
        return nullptr;
      }
    }
  } while (shaken < 0 && gnutls_error_is_fatal(shaken) == 0);
  if (shaken == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR) {
    *result = ImapFailure(ImapStatus::kCertificate,
                          "the certificate of " + host + " is refused: " +
                              VerificationText(gnutls_session_get_verify_cert_status(session)));
    return nullptr;
  }
  if (shaken < 0) {
    *result = ImapFailure(ImapStatus::kNetwork,
                          "TLS with " + host + " failed: " + gnutls_strerror(shaken));
    return nullptr;
  }
  if (!trust.fingerprint.empty()) {
    const std::string seen = LeafFingerprint(session);
    if (seen != trust.fingerprint) {
      *result =
          ImapFailure(ImapStatus::kCertificate, "the certificate of " + host +
                                                    " is refused: its SHA-256 fingerprint is " +
                                                    (seen.empty() ? std::string("missing") : seen) +
                                                    ", not the account's " + trust.fingerprint);
      return nullptr;
    }
  }
  *result = ImapOk();
  return stream;
}

TlsStream::TlsStream(std::unique_ptr<SocketStream> plain,
                     gnutls_certificate_credentials_t credentials, gnutls_session_t session)
    : plain_(std::move(plain)), credentials_(credentials), session_(session) {}

TlsStream::~TlsStream() {
  // A courtesy to the server; not waited for.
  gnutls_bye(session_, GNUTLS_SHUT_WR);
  gnutls_deinit(session_);
  gnutls_certificate_free_credentials(credentials_);
}

bool TlsStream::WaitForSession() {
  const short events = gnutls_record_get_direction(session_) == 1 ? POLLOUT : POLLIN;
  const int ready = WaitForDescriptor(plain_->fd(), events, plain_->io_limit());
  if (ready == 1)
    return true;
  error_ = ready == 0 ? "the server did not answer for " +
                            std::to_string(plain_->io_limit().count() / 1000) + " seconds"
                      : std::strerror(errno);
  return false;
}

long TlsStream::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = gnutls_record_recv(session_, buffer, size);
    if (n >= 0)
      return static_cast<long>(n);
    if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) {
      if (!WaitForSession())
        return -1;
      continue;
    }
    error_ = n == GNUTLS_E_PREMATURE_TERMINATION ? "the connection was cut"
                                                 : gnutls_strerror(static_cast<int>(n));
    return -1;
  }
}

long TlsStream::Write(const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = gnutls_record_send(session_, data + done, size - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) {
      if (!WaitForSession())
        return -1;
      continue;
    }
    error_ = gnutls_strerror(static_cast<int>(n));
    return -1;
  }
  return static_cast<long>(size);
}

bool TlsStream::HasBuffered() const {
  return gnutls_record_check_pending(session_) > 0;
}

}  // namespace varnox
