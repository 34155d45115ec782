#include "linux/imap/account_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

#include "platform/utf8.h"

namespace varnox {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos)
    return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

// A path as an account names it: absolute, or "~/" under the home folder.
std::optional<std::string> AccountPath(std::string_view value, const std::string& home) {
  if (value.starts_with("~/"))
    return home + std::string(value.substr(1));
  if (value.starts_with("/"))
    return std::string(value);
  return std::nullopt;
}

std::optional<int> Number(std::string_view value, int low, int high) {
  if (value.empty() || value.size() > 9)
    return std::nullopt;
  int number = 0;
  for (char c : value) {
    if (c < '0' || c > '9')
      return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number < low || number > high)
    return std::nullopt;
  return number;
}

// What one section gathers before it becomes an account: the line of each
// key, so that a key given twice names both lines.
struct Section {
  ImapAccount account;
  std::map<std::string, int, std::less<>> key_lines;
  bool port_given = false;
  bool folders_given = false;
};

std::string Line(int line, const std::string& message) {
  return "line " + std::to_string(line) + ": " + message;
}

// Checks a finished section; the message names the section's header line.
bool Finish(Section& section, std::string* error) {
  ImapAccount& account = section.account;
  const std::string who = "account " + account.name;
  auto fail = [&](const std::string& message) {
    *error = Line(account.line, who + " " + message);
    return false;
  };
  if (account.server.empty())
    return fail("names no server");
  if (account.user.empty())
    return fail("names no user");
  if (account.password_command.empty() && account.password_file.empty())
    return fail("names neither password-command nor password-file");
  if (!section.port_given)
    account.port = account.security == ImapSecurity::kTls ? 993 : 143;
  if (account.security == ImapSecurity::kPlain &&
      (!account.ca_file.empty() || !account.fingerprint.empty()))
    return fail("has security = plain, where ca-file and fingerprint have no use");
  if (!account.spam_folder_junk) {
    for (const std::string& folder : account.folders) {
      if (folder == account.spam_folder)
        return fail("watches its spam folder " + folder + "; spam would be judged again");
    }
  }
  return true;
}

// Applies `key = value` to the section. False with a message (without the
// line) when the key is unknown or the value is not one the key takes.
bool Apply(Section& section, std::string_view key, std::string_view value, const std::string& home,
           std::string* message) {
  ImapAccount& account = section.account;
  if (key == "server") {
    if (value.find_first_of(" \t/") != std::string_view::npos) {
      *message = "server must be a host name or address";
      return false;
    }
    account.server = value;
  } else if (key == "port") {
    const std::optional<int> port = Number(value, 1, 65535);
    if (!port) {
      *message = "port must be a number from 1 to 65535";
      return false;
    }
    account.port = static_cast<std::uint16_t>(*port);
    section.port_given = true;
  } else if (key == "security") {
    if (value == "tls") {
      account.security = ImapSecurity::kTls;
    } else if (value == "starttls") {
      account.security = ImapSecurity::kStartTls;
    } else if (value == "plain") {
      account.security = ImapSecurity::kPlain;
    } else {
      *message = "security must be tls, starttls or plain";
      return false;
    }
  } else if (key == "user") {
    account.user = value;
  } else if (key == "ca-file") {
    const std::optional<std::string> path = AccountPath(value, home);
    if (!path) {
      *message = "ca-file must be an absolute path or start with ~/";
      return false;
    }
    account.ca_file = *path;
  } else if (key == "fingerprint") {
    if (!NormalizeFingerprint(value, &account.fingerprint)) {
      *message = "fingerprint must be the certificate's SHA-256 in hex (sha256:AB:CD:...)";
      return false;
    }
  } else if (key == "password-command") {
    std::string why;
    if (!SplitCommandWords(value, &account.password_command, &why)) {
      *message = "password-command: " + why;
      return false;
    }
  } else if (key == "password-file") {
    const std::optional<std::string> path = AccountPath(value, home);
    if (!path) {
      *message = "password-file must be an absolute path or start with ~/";
      return false;
    }
    account.password_file = *path;
  } else if (key == "folder") {
    if (!section.folders_given)
      account.folders.clear();
    section.folders_given = true;
    for (const std::string& folder : account.folders) {
      if (folder == value) {
        *message = "folder " + folder + " is named twice";
        return false;
      }
    }
    account.folders.emplace_back(value);
  } else if (key == "spam-folder") {
    account.spam_folder_junk = value == "\\Junk";
    account.spam_folder = account.spam_folder_junk ? "" : std::string(value);
  } else if (key == "mark") {
    if (value == "headers") {
      account.mark = ImapVerdictMark::kHeaders;
    } else if (value == "keyword") {
      account.mark = ImapVerdictMark::kKeyword;
    } else {
      *message = "mark must be headers or keyword";
      return false;
    }
  } else if (key == "poll-seconds") {
    const std::optional<int> seconds = Number(value, 10, 3600);
    if (!seconds) {
      *message = "poll-seconds must be a number from 10 to 3600";
      return false;
    }
    account.poll_seconds = *seconds;
  } else {
    *message = "unknown setting " + std::string(key);
    return false;
  }
  return true;
}

}  // namespace

std::string AccountFilePath(const std::string& config_folder) {
  return config_folder + "/accounts.ini";
}

bool SplitCommandWords(std::string_view text, std::vector<std::string>* words, std::string* error) {
  std::vector<std::string> found;
  std::string word;
  bool in_word = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t') {
      if (in_word)
        found.push_back(std::move(word));
      word.clear();
      in_word = false;
      ++i;
      continue;
    }
    in_word = true;
    if (c == '\'') {
      const std::size_t end = text.find('\'', i + 1);
      if (end == std::string_view::npos) {
        *error = "a quote ' is not closed";
        return false;
      }
      word.append(text.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) {
          *error = "a quote \" is not closed";
          return false;
        }
        if (text[i] == '"')
          break;
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\'))
          ++i;
        word.push_back(text[i++]);
      }
      ++i;
    } else if (c == '\\') {
      if (i + 1 >= text.size()) {
        *error = "it ends with a backslash";
        return false;
      }
      word.push_back(text[i + 1]);
      i += 2;
    } else {
      word.push_back(c);
      ++i;
    }
  }
  if (in_word)
    found.push_back(std::move(word));
  if (found.empty()) {
    *error = "no program is named";
    return false;
  }
  *words = std::move(found);
  return true;
}

bool NormalizeFingerprint(std::string_view text, std::string* fingerprint) {
  if (text.size() >= 7 && (text.substr(0, 7) == "sha256:" || text.substr(0, 7) == "SHA256:"))
    text.remove_prefix(7);
  std::string hex;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') {
      // Only between pairs of digits.
      if (hex.empty() || hex.size() % 2 != 0 || i + 1 == text.size() || text[i + 1] == ':')
        return false;
      continue;
    }
    if (c >= '0' && c <= '9')
      hex.push_back(c);
    else if (c >= 'a' && c <= 'f')
      hex.push_back(c);
    else if (c >= 'A' && c <= 'F')
      hex.push_back(static_cast<char>(c - 'A' + 'a'));
    else
      return false;
  }
  if (hex.size() != 64)
    return false;
  *fingerprint = std::move(hex);
  return true;
}

bool ParseAccountFile(std::string_view text, const std::string& home,
                      std::vector<ImapAccount>* accounts, std::string* error) {
  if (text.starts_with("\xEF\xBB\xBF"))
    text.remove_prefix(3);
  std::vector<ImapAccount> found;
  std::optional<Section> section;
  std::map<std::string, int, std::less<>> names;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r'))
      line.remove_suffix(1);
    for (char c : line) {
      if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
        *error = Line(number, "holds a control character");
        return false;
      }
    }
    if (!utf8::IsValid(line)) {
      *error = Line(number, "is not UTF-8 text");
      return false;
    }
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';')
      continue;
    if (line.front() == '[') {
      if (section) {
        if (!Finish(*section, error))
          return false;
        found.push_back(std::move(section->account));
      }
      if (!line.ends_with(']') || !line.starts_with("[account ")) {
        *error = Line(number, "a section must be written [account NAME]");
        return false;
      }
      const std::string_view name = Trim(line.substr(9, line.size() - 10));
      if (name.empty() || name.size() > 64 ||
          !std::all_of(name.begin(), name.end(), IsNameCharacter)) {
        *error = Line(number, "an account's name is 1 to 64 letters, digits, '.', '_' or '-'");
        return false;
      }
      if (auto it = names.find(name); it != names.end()) {
        *error = Line(number, "account " + std::string(name) + " is already defined on line " +
                                  std::to_string(it->second));
        return false;
      }
      names.emplace(std::string(name), number);
      section.emplace();
      section->account.name = name;
      section->account.line = number;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      *error = Line(number, "expected NAME = VALUE, a [account NAME] header or a # comment");
      return false;
    }
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (!section) {
      *error = Line(number, "a setting before the first [account NAME]");
      return false;
    }
    if (key.empty() || !std::all_of(key.begin(), key.end(), IsNameCharacter)) {
      *error = Line(number, "expected NAME = VALUE");
      return false;
    }
    if (value.empty()) {
      *error = Line(number, std::string(key) + " has no value");
      return false;
    }
    if (key != "folder") {
      if (auto it = section->key_lines.find(key); it != section->key_lines.end()) {
        *error = Line(number,
                      std::string(key) + " is already given on line " + std::to_string(it->second));
        return false;
      }
      section->key_lines.emplace(std::string(key), number);
    }
    std::string message;
    if (!Apply(*section, key, value, home, &message)) {
      *error = Line(number, message);
      return false;
    }
  }
  if (section) {
    if (!Finish(*section, error))
      return false;
    found.push_back(std::move(section->account));
  }
  for (const ImapAccount& account : found) {
    if (!account.password_command.empty() && !account.password_file.empty()) {
      *error = Line(account.line,
                    "account " + account.name + " names both password-command and password-file");
      return false;
    }
    if (!account.ca_file.empty() && !account.fingerprint.empty()) {
      *error =
          Line(account.line, "account " + account.name + " names both ca-file and fingerprint");
      return false;
    }
  }
  *accounts = std::move(found);
  return true;
}

AccountFileRead ReadAccountFile(const std::string& path, const std::string& home,
                                std::vector<ImapAccount>* accounts, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT)
      return AccountFileRead::kMissing;
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return AccountFileRead::kRefused;
  }
  struct stat st;
  std::string text;
  bool readable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!readable) {
    *error = path + " is not a file";
  } else if (static_cast<unsigned long long>(st.st_size) > kMaxAccountFileBytes) {
    *error = path + " is larger than 1 MiB, which no file of accounts is";
    readable = false;
  } else {
    // Read to the end, never past the limit, whatever the size said.
    char buffer[16384];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0) {
        *error = "cannot read " + path + ": " + std::strerror(errno);
        readable = false;
        break;
      }
      if (n == 0)
        break;
      text.append(buffer, static_cast<std::size_t>(n));
      if (text.size() > kMaxAccountFileBytes) {
        *error = path + " is larger than 1 MiB, which no file of accounts is";
        readable = false;
        break;
      }
    }
  }
  ::close(fd);
  if (!readable)
    return AccountFileRead::kRefused;
  std::string why;
  if (!ParseAccountFile(text, home, accounts, &why)) {
    *error = path + " " + why;
    return AccountFileRead::kRefused;
  }
  return AccountFileRead::kRead;
}

}  // namespace varnox
