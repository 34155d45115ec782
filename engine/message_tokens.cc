#include "engine/message_tokens.h"

#include <string>
#include <utility>

#include "engine/mail_tokens.h"

namespace varnox {

const WordCounts& MessageTokens::Words() {
  if (!words_) {
    std::string text;
    text.reserve(subject_.size() + 2 + body_.size());
    text.append(subject_);
    text.append("\n\n");
    text.append(body_);
    // Every word the tokenizer makes fits in its key: none refers to `text`.
    words_ = tokenizer_.CountOrNone(text);
  }
  return *words_;
}

const TokenSet& MessageTokens::MailTokens() {
  if (!mailTokens_) {
    TokenSet tokens;
    mail_tokens::AddMailTokens(headers_, subject_, body_, &tokens);
    mailTokens_ = std::move(tokens);
  }
  return *mailTokens_;
}

WordCounts MessageTokens::TakeWords() {
  Words();
  WordCounts words = std::move(*words_);
  words_.reset();
  return words;
}

}  // namespace varnox
