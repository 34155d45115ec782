// MessageTokens: what the judges read of one message. Each kind of token is
// made the first time a judge asks for it and kept for the next one, so that
// judges reading the same kind share one pass over the text:
// - Words(): the tokenizer's words of the subject and body (the text is the
//   subject, "\n\n", the body), with their occurrences, the ignore list's
//   words left out;
// - MailTokens(): the tokens of the headers, the subject and the links
//   (mail_tokens.h).
//
// The texts are the caller's and must outlive the tokens; so must the
// tokenizer's ignore list. Views of tokens (a verdict's clues) last as long
// as the tokens, and a view of a word until TakeWords.
#ifndef VARNOX_ENGINE_MESSAGE_TOKENS_H_
#define VARNOX_ENGINE_MESSAGE_TOKENS_H_

#include <optional>
#include <string_view>

#include "engine/token_set.h"
#include "engine/tokenizer.h"

namespace varnox {

class MessageTokens {
 public:
  // Narrow texts in code page 1252; `headers` are the transport headers,
  // empty when the host has none.
  MessageTokens(std::string_view subject, std::string_view body, std::string_view headers,
                const Tokenizer& tokenizer)
      : subject_(subject), body_(body), headers_(headers), tokenizer_(tokenizer) {}

  // None for want of memory, as the text then yields no words. Throws
  // std::bad_alloc only when the text cannot be joined.
  const WordCounts& Words();
  // Throws std::bad_alloc when memory runs out.
  const TokenSet& MailTokens();
  // The words, moved out (into the message's record): asking for them again
  // counts them again.
  WordCounts TakeWords();

 private:
  std::string_view subject_;
  std::string_view body_;
  std::string_view headers_;
  Tokenizer tokenizer_;
  std::optional<WordCounts> words_;
  std::optional<TokenSet> mailTokens_;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_MESSAGE_TOKENS_H_
