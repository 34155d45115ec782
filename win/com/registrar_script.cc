#include "win/com/registrar_script.h"

#include <charconv>
#include <optional>

#include "platform/ascii_case.h"

namespace varnox::win {
namespace {

// Win32 ERROR_FILE_NOT_FOUND as an HRESULT: what deleting an absent thing
// answers; the interpreter treats it as done.
constexpr HResult kFileNotFound = static_cast<HResult>(0x80070002u);

struct Token {
  std::string text;
  bool quoted = false;
  int line = 0;
};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string Escaped(std::string_view replacement) {
  std::string escaped;
  for (char c : replacement) {
    escaped += c;
    if (c == '\'')
      escaped += '\'';
  }
  return escaped;
}

bool Substitute(std::string_view text, const std::map<std::string, std::string>& replacements,
                std::string* out, std::string* error) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *out += text[i];
      continue;
    }
    const std::size_t end = text.find('%', i + 1);
    if (end == std::string_view::npos) {
      *error = "unmatched '%'";
      return false;
    }
    const std::string name(text.substr(i + 1, end - i - 1));
    if (name.empty()) {
      *out += '%';
    } else {
      auto it = replacements.find(name);
      if (it == replacements.end()) {
        *error = "unknown replacement %" + name + "%";
        return false;
      }
      *out += Escaped(it->second);
    }
    i = end;
  }
  return true;
}

bool Tokenize(std::string_view text, std::vector<Token>* tokens, std::string* error) {
  int line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsSpace(text[i])) {
      line += text[i] == '\n';
      ++i;
      continue;
    }
    Token token;
    token.line = line;
    if (text[i] == '\'') {
      token.quoted = true;
      ++i;
      for (;;) {
        if (i >= text.size()) {
          *error = "line " + std::to_string(token.line) + ": unterminated quoted string";
          return false;
        }
        if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') {
            token.text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        line += text[i] == '\n';
        token.text += text[i++];
      }
    } else {
      while (i < text.size() && !IsSpace(text[i]))
        token.text += text[i++];
    }
    tokens->push_back(std::move(token));
  }
  return true;
}

std::optional<RegistryRoot> RootNamed(std::string_view name) {
  struct Name {
    const char* short_name;
    const char* long_name;
    RegistryRoot root;
  };
  static const Name kNames[] = {
      {"HKCR", "HKEY_CLASSES_ROOT", RegistryRoot::kClassesRoot},
      {"HKCU", "HKEY_CURRENT_USER", RegistryRoot::kCurrentUser},
      {"HKLM", "HKEY_LOCAL_MACHINE", RegistryRoot::kLocalMachine},
      {"HKU", "HKEY_USERS", RegistryRoot::kUsers},
  };
  for (const Name& n : kNames) {
    if (ascii::EqualsIgnoreCase(name, n.short_name) || ascii::EqualsIgnoreCase(name, n.long_name))
      return n.root;
  }
  return std::nullopt;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, std::string* error)
      : tokens_(std::move(tokens)), error_(error) {}

  bool ParseScript(std::vector<RegistrarRoot>* roots) {
    while (!AtEnd()) {
      const Token& name = Next();
      std::optional<RegistryRoot> root = name.quoted ? std::nullopt : RootNamed(name.text);
      if (!root)
        return Fail(name, "expected a root key such as HKCR, found '" + name.text + "'");
      RegistrarRoot block;
      block.root = *root;
      if (!Expect("{") || !ParseKeys(&block.keys, nullptr, 1))
        return false;
      roots->push_back(std::move(block));
    }
    return true;
  }

 private:
  bool AtEnd() const { return next_ >= tokens_.size(); }
  const Token& Next() { return tokens_[next_++]; }
  const Token* Peek() const { return AtEnd() ? nullptr : &tokens_[next_]; }
  bool PeekIs(std::string_view word) const {
    const Token* t = Peek();
    return t != nullptr && !t->quoted && t->text == word;
  }

  bool Fail(const Token& at, const std::string& what) {
    *error_ = "line " + std::to_string(at.line) + ": " + what;
    return false;
  }
  bool FailAtEnd(const std::string& what) {
    *error_ = "end of script: " + what;
    return false;
  }
  bool Expect(std::string_view word) {
    if (AtEnd())
      return FailAtEnd("expected '" + std::string(word) + "'");
    const Token& t = Next();
    if (t.quoted || t.text != word)
      return Fail(t, "expected '" + std::string(word) + "', found '" + t.text + "'");
    return true;
  }

  bool IsReservedWord(const Token& t) const {
    return !t.quoted && (t.text == "{" || t.text == "}" || t.text == "=");
  }

  // "s 'text'" or "d number" after an '='.
  bool ParseTypedValue(RegistrarValue* value) {
    if (AtEnd())
      return FailAtEnd("expected a value type");
    const Token& type = Next();
    if (AtEnd())
      return FailAtEnd("expected a value");
    const Token& data = Next();
    if (!type.quoted && ascii::EqualsIgnoreCase(type.text, "s")) {
      value->type = RegistrarValue::Type::kString;
      value->text = data.text;
      return true;
    }
    if (!type.quoted && ascii::EqualsIgnoreCase(type.text, "d")) {
      value->type = RegistrarValue::Type::kDword;
      std::string_view digits = data.text;
      int base = 10;
      if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
      }
      auto [end, ec] =
          std::from_chars(digits.data(), digits.data() + digits.size(), value->number, base);
      if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty())
        return Fail(data, "'" + data.text + "' is not a 32-bit number");
      return true;
    }
    return Fail(type, "unsupported value type '" + type.text + "' (s or d)");
  }

  // Keys (and, inside a key, named values) up to the closing brace.
  bool ParseKeys(std::vector<RegistrarKey>* keys, RegistrarKey* owner, int depth) {
    if (depth > RegistrarScript::kMaxDepth)
      return FailAtEnd("blocks nested too deep");
    for (;;) {
      if (AtEnd())
        return FailAtEnd("expected '}'");
      if (PeekIs("}")) {
        Next();
        return true;
      }
      if (owner != nullptr && PeekIs("val")) {
        Next();
        RegistrarValue value;
        if (AtEnd())
          return FailAtEnd("expected a value name");
        const Token& name = Next();
        if (IsReservedWord(name))
          return Fail(name, "expected a value name, found '" + name.text + "'");
        value.name = name.text;
        if (!Expect("=") || !ParseTypedValue(&value))
          return false;
        owner->values.push_back(std::move(value));
        continue;
      }
      RegistrarKey key;
      if (!ParseKey(&key, depth))
        return false;
      keys->push_back(std::move(key));
    }
  }

  bool ParseKey(RegistrarKey* key, int depth) {
    const Token* first = Peek();
    if (!first->quoted && ascii::EqualsIgnoreCase(first->text, "ForceRemove")) {
      key->marking = RegistrarKey::Marking::kForceRemove;
      Next();
    } else if (!first->quoted && ascii::EqualsIgnoreCase(first->text, "NoRemove")) {
      key->marking = RegistrarKey::Marking::kNoRemove;
      Next();
    } else if (!first->quoted && ascii::EqualsIgnoreCase(first->text, "Delete")) {
      return Fail(*first, "'Delete' keys are not supported");
    }
    if (AtEnd())
      return FailAtEnd("expected a key name");
    const Token& name = Next();
    if (IsReservedWord(name) || name.text.empty())
      return Fail(name, "expected a key name, found '" + name.text + "'");
    key->name = name.text;
    if (PeekIs("=")) {
      Next();
      key->has_default = true;
      if (!ParseTypedValue(&key->default_value))
        return false;
    }
    if (PeekIs("{")) {
      Next();
      return ParseKeys(&key->subkeys, key, depth + 1);
    }
    return true;
  }

  std::vector<Token> tokens_;
  std::size_t next_ = 0;
  std::string* error_;
};

std::string Join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "\\" + name;
}

HResult WriteValue(RegistrarTarget& target, RegistryRoot root, const std::string& path,
                   const RegistrarValue& value) {
  if (value.type == RegistrarValue::Type::kDword)
    return target.SetDword(root, path, value.name, value.number);
  return target.SetString(root, path, value.name, value.text);
}

HResult RegisterKey(RegistrarTarget& target, RegistryRoot root, const std::string& parent,
                    const RegistrarKey& key) {
  const std::string path = Join(parent, key.name);
  HResult hr = kSOk;
  if (key.marking == RegistrarKey::Marking::kForceRemove) {
    hr = target.DeleteTree(root, path);
    if (Failed(hr) && hr != kFileNotFound)
      return hr;
  }
  hr = target.CreateKey(root, path);
  if (Failed(hr))
    return hr;
  if (key.has_default) {
    hr = WriteValue(target, root, path, key.default_value);
    if (Failed(hr))
      return hr;
  }
  for (const RegistrarValue& value : key.values) {
    hr = WriteValue(target, root, path, value);
    if (Failed(hr))
      return hr;
  }
  for (const RegistrarKey& subkey : key.subkeys) {
    hr = RegisterKey(target, root, path, subkey);
    if (Failed(hr))
      return hr;
  }
  return kSOk;
}

HResult UnregisterKey(RegistrarTarget& target, RegistryRoot root, const std::string& parent,
                      const RegistrarKey& key) {
  const std::string path = Join(parent, key.name);
  if (!target.KeyExists(root, path))
    return kSOk;  // nothing of ours below it either
  if (key.marking == RegistrarKey::Marking::kForceRemove) {
    HResult hr = target.DeleteTree(root, path);
    return hr == kFileNotFound ? kSOk : hr;
  }
  for (const RegistrarKey& subkey : key.subkeys) {
    HResult hr = UnregisterKey(target, root, path, subkey);
    if (Failed(hr))
      return hr;
  }
  if (key.marking != RegistrarKey::Marking::kNoRemove && !target.HasSubkeys(root, path)) {
    HResult hr = target.DeleteKey(root, path);
    return hr == kFileNotFound ? kSOk : hr;
  }
  // The key stays (shared, or something else lives below it): only what the
  // script wrote into it goes.
  for (const RegistrarValue& value : key.values) {
    HResult hr = target.DeleteValue(root, path, value.name);
    if (Failed(hr) && hr != kFileNotFound)
      return hr;
  }
  return kSOk;
}

}  // namespace

bool RegistrarScript::Parse(std::string_view text,
                            const std::map<std::string, std::string>& replacements,
                            std::string* error) {
  roots_.clear();
  std::string substituted;
  std::vector<Token> tokens;
  if (!Substitute(text, replacements, &substituted, error) ||
      !Tokenize(substituted, &tokens, error)) {
    return false;
  }
  std::vector<RegistrarRoot> roots;
  Parser parser(std::move(tokens), error);
  if (!parser.ParseScript(&roots))
    return false;
  roots_ = std::move(roots);
  return true;
}

HResult RegistrarScript::Register(RegistrarTarget& target) const {
  for (const RegistrarRoot& block : roots_) {
    for (const RegistrarKey& key : block.keys) {
      HResult hr = RegisterKey(target, block.root, "", key);
      if (Failed(hr))
        return hr;
    }
  }
  return kSOk;
}

HResult RegistrarScript::Unregister(RegistrarTarget& target) const {
  for (const RegistrarRoot& block : roots_) {
    for (const RegistrarKey& key : block.keys) {
      HResult hr = UnregisterKey(target, block.root, "", key);
      if (Failed(hr))
        return hr;
    }
  }
  return kSOk;
}

}  // namespace varnox::win
