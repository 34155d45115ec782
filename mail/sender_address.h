// The sender of a message as the sender lists see it: the address of the
// From field of the transport headers, and the address's domain key ("@"
// and the domain).
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
// unchanged otherwise. The field is the first line that starts with "From:"
// in any letter case ("Resent-From:" and "X-Original-From:" are not it),
// with the continuation lines that fold it; a field that no CR LF ends gives
// no address. On the field's first line:
// - the character after "From:" (normally a space) is passed over;
// - the address runs from after the first "<" of the rest to its first ">";
//   when that ">" comes before the "<", to the end of the line; angle
//   brackets inside a quoted display name do not count.
// When the first line holds no such pair, the whole unfolded field is read:
// the first "<" outside quoted strings and comments up to the next ">"
// (spaces around the address dropped; none may stand inside it), else a
// bare address alone in the field, with or without a comment
// ("ann@example.org (Ann)"). Either way the address is a piece of one line.
// An address longer than kMaxSenderAddressLength, or holding a CR or LF (a
// line break that is not the field's own end), is no address. Linear in the
// headers' length, whatever their content.
int ExtractSenderAddress(std::string_view headers, std::string* address);

// The address from its first "@" on, the "@" kept; empty when it has none.
std::string DomainKey(std::string_view address);

}  // namespace varnox

#endif  // VARNOX_MAIL_SENDER_ADDRESS_H_
