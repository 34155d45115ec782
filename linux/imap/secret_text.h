// A password while Varnox holds it: kept in one place, never copied, and
// overwritten with zeros when it goes. It has no way to be printed; the
// only reader is the IMAP login.
#ifndef VARNOX_LINUX_IMAP_SECRET_TEXT_H_
#define VARNOX_LINUX_IMAP_SECRET_TEXT_H_

#include <string.h>

#include <string>

namespace varnox {

class SecretText {
 public:
  SecretText() = default;
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  ~SecretText() { Clear(); }

  // Takes the characters of `text` and wipes the buffer it came in.
  void Assign(std::string& text) {
    Clear();
    value_ = text;
    explicit_bzero(text.data(), text.size());
    text.clear();
  }
  void Clear() {
    explicit_bzero(value_.data(), value_.size());
    value_.clear();
  }
  bool empty() const { return value_.empty(); }
  const char* c_str() const { return value_.c_str(); }

 private:
  std::string value_;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_SECRET_TEXT_H_
