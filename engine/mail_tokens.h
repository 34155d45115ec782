// Mail tokens: what a message's form says rather than its words, read by the
// chi-square judge beside the tokenizer's words. The words of the subject,
// the sender's address and domain, the hosts of the Received lines, the
// Content-Type parameters, the words of X-Mailer and User-Agent, the hosts
// of To, the domains of Message-ID and Return-Path, the shape of Date (its
// zone, whether a weekday leads), the Content-Transfer-Encoding, and the
// hosts of links in the body. A host counts by what it shares with the
// organisation's other machines: a name by its registered domain
// (registered_domain.h), an address by its network (the first two parts),
// so that mail from a relay or a site not seen before still tells
// something, and one machine's name cannot decide. Each is learned as a
// word of its own, marked by a prefix ("from:", "subj:", "rcvd:", "ct:",
// "xm:", "to:", "mid:", "rp:", "date:", "cte:", "url:") so that it never
// meets a word of the tokenizer, which never holds ":".
//
// Headers are the transport headers as the host gives them (lines ended by
// CR LF or LF, folded lines continued by a space or tab). Every byte is
// untrusted: tokens hold only bytes above 0x20 (0x7F excepted), ASCII letters
// lower-cased, at most kMaxTokenLength bytes, at most kMaxTokens of them a call.
#ifndef VARNOX_ENGINE_MAIL_TOKENS_H_
#define VARNOX_ENGINE_MAIL_TOKENS_H_

#include <cstddef>
#include <string_view>

#include "engine/token_set.h"

namespace varnox::mail_tokens {

inline constexpr std::size_t kMaxTokenLength = 64;
inline constexpr std::size_t kMaxTokens = 400;

// Adds every mail token of a message: AddHeaderTokens, then AddLinkTokens.
void AddMailTokens(std::string_view headers, std::string_view subject, std::string_view body,
                   TokenSet* tokens);
// Adds the header tokens and the subject's tokens to `tokens`.
void AddHeaderTokens(std::string_view headers, std::string_view subject, TokenSet* tokens);
// Adds a "url:" token for the host of each http:// or https:// link in
// `body`: its registered domain, or an address's network.
void AddLinkTokens(std::string_view body, TokenSet* tokens);

}  // namespace varnox::mail_tokens

#endif  // VARNOX_ENGINE_MAIL_TOKENS_H_
