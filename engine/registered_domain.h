// The registered domain of a host: the name its owner registered, one label
// more than its public suffix ("example.co.uk" of "mail.example.co.uk"),
// after the rules of the Public Suffix List's ICANN section (build-time
// data from Debian's publicsuffix package; cmake/public-suffixes.cmake).
// Hosts of one organisation share it, however their machines are named,
// which is what tells something of mail from a sender not seen before.
#ifndef VARNOX_ENGINE_REGISTERED_DOMAIN_H_
#define VARNOX_ENGINE_REGISTERED_DOMAIN_H_

#include <string_view>

namespace varnox {

// The registered domain of `host` (ASCII, any letter case, labels separated
// by single dots) as a view of its end; empty when the host is a public
// suffix itself, is not a host name (a label is empty, or the last one is
// not letters or an "xn--" name), or is longer than 255 bytes. A name under
// no known suffix is taken as one under a top-level domain of its own
// ("localhost.localdomain" of "a.localhost.localdomain").
std::string_view RegisteredDomain(std::string_view host);

}  // namespace varnox

#endif  // VARNOX_ENGINE_REGISTERED_DOMAIN_H_
