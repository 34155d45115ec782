// The sender of a message as the sender lists see it: the address between
// the angle brackets of the first "From:" line of the transport headers, and
// the address's domain key ("@" and the domain).
#ifndef VARNOX_MAIL_SENDER_ADDRESS_H_
#define VARNOX_MAIL_SENDER_ADDRESS_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace varnox {

// The longest address taken; a longer one counts as no address at all, so
// that a cut-off address can never match a list entry by accident.
inline constexpr std::size_t kMaxSenderAddressLength = 259;

// 1 and *address set when the headers name a sender; 0 and *address
// unchanged otherwise. The rules, on the first "From:" anywhere (exact case,
// also inside a longer header name) and its line up to the first CR LF:
// - no "From:", no CR LF after it, or a line too short to hold anything
//   after "From:" and one more character: no address;
// - the first 6 characters ("From:" and the one after it) are skipped;
// - the address runs from after the first "<" to the first ">" of the rest;
//   when that ">" comes before the "<", to the end of the line; without a
//   "<" or without any ">" there is no address;
// - longer than kMaxSenderAddressLength, or holding a CR or LF (a line break
//   that is not the line's own end): no address.
// Only the first line of a folded header is read. Linear in the headers'
// length, whatever their content.
int ExtractSenderAddress(std::string_view headers, std::string* address);

// The address from its first "@" on, the "@" kept; empty when it has none.
std::string DomainKey(std::string_view address);

}  // namespace varnox

#endif  // VARNOX_MAIL_SENDER_ADDRESS_H_
