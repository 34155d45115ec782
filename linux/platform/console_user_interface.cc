#include "linux/platform/console_user_interface.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "linux/platform/console_texts.h"
#include "platform/code_page.h"
#include "platform/utf8.h"

extern char** environ;

namespace varnox {
namespace {

// Answers longer than this are cut: nobody types a longer "yes".
constexpr std::size_t kMaxAnswerBytes = 256;
// A person who types nonsense is asked again, but not for ever.
constexpr int kMaxQuestionTries = 3;

bool IsControl(unsigned char byte) {
  return (byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F;
}

bool IsUnassigned1252(unsigned char byte) {
  return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

struct Question {
  std::string_view prompt;
  int yes;
  int no;  // also the answer when nobody can be asked
};

// Message boxes that ask something, by their button kind (the low four bits
// of the flags); every other kind only informs and answers OK.
bool QuestionFor(std::uint32_t flags, Question* question) {
  switch (flags & 0xF) {
    case 0x1:  // OK, Cancel
      *question = {"[y/N]", kIdOk, kIdCancel};
      return true;
    case 0x3:  // Yes, No, Cancel
      *question = {"[y/N]", kIdYes, kIdCancel};
      return true;
    case kMbYesNo:
      *question = {"[y/N]", kIdYes, kIdNo};
      return true;
    default:
      return false;
  }
}

bool IsYes(std::string_view answer) {
  return code_page::EqualsIgnoreCase(answer, "y") || code_page::EqualsIgnoreCase(answer, "yes");
}

bool IsNo(std::string_view answer) {
  return answer.empty() || code_page::EqualsIgnoreCase(answer, "n") ||
         code_page::EqualsIgnoreCase(answer, "no");
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// The folder of the running program; "." when it cannot be told.
std::string ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
    return ".";
  path.resize(static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      continue;  // Windows line ends become plain line feeds
    if (IsControl(byte) || IsUnassigned1252(byte))
      out.push_back('?');
    else
      out += utf8::FromCodePage1252(text.substr(i, 1));
  }
  return out;
}

std::string TerminalTextFromUtf8(std::string_view text) {
  if (!utf8::IsValid(text))
    return TerminalText(utf8::ToCodePage1252(text));
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // U+0080-U+009F, the C1 controls, are encoded as C2 80 to C2 9F.
    if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      out.push_back('?');
      ++i;
    } else if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;
    } else {
      out.push_back(IsControl(byte) ? '?' : text[i]);
    }
  }
  return out;
}

void ConsoleUserInterface::Write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(options_.output_fd, text.data(), text.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;  // nowhere to say it; a message box has no failure result either
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool ConsoleUserInterface::ReadAnswer(std::string* answer) {
  answer->clear();
  for (;;) {
    char c;
    const ssize_t n = ::read(options_.input_fd, &c, 1);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    if (c == '\n')
      return true;
    if (answer->size() < kMaxAnswerBytes)
      answer->push_back(c);
  }
}

int ConsoleUserInterface::ShowMessage(std::string_view text, std::string_view caption,
                                      std::uint32_t flags) {
  if ((flags & 0xF0) == kMbIconWarning)
    ++warnings_;
  std::string shown = caption.empty() ? "" : TerminalText(ConsoleText(caption)) + ": ";
  shown += TerminalText(ConsoleText(text));
  while (!shown.empty() && shown.back() == '\n')
    shown.pop_back();

  Question question;
  if (!QuestionFor(flags, &question)) {
    Write(shown + "\n");
    return kIdOk;
  }
  shown += " ";
  shown += question.prompt;
  shown += " ";
  if (options_.answer_yes) {
    Write(shown + "yes (--yes)\n");
    return question.yes;
  }
  if (!::isatty(options_.input_fd)) {
    Write(shown + "no (not asked: the input is not a terminal; --yes answers yes)\n");
    return question.no;
  }
  for (int tries = 0; tries < kMaxQuestionTries; ++tries) {
    Write(shown);
    std::string answer;
    if (!ReadAnswer(&answer)) {
      Write("\n");
      return question.no;
    }
    const std::string_view trimmed = TrimSpaces(answer);
    if (IsYes(trimmed))
      return question.yes;
    if (IsNo(trimmed))
      return question.no;
    Write("Please answer y or n.\n");
  }
  return question.no;
}

bool ConsoleUserInterface::CanAsk() const {
  return !options_.answer_yes && ::isatty(options_.input_fd);
}

bool ConsoleUserInterface::Ask(std::string_view prompt, std::string* answer) {
  Write(prompt);
  if (!ReadAnswer(answer)) {
    Write("\n");
    return false;
  }
  *answer = std::string(TrimSpaces(*answer));
  return true;
}

void ConsoleUserInterface::Beep(std::uint32_t) {
  if (::isatty(options_.output_fd))
    Write("\a");
}

void ConsoleUserInterface::OpenPage(std::string_view page) {
  const std::string folder =
      options_.pages_folder.empty() ? ProgramFolder() : options_.pages_folder;
  // No path handed to the opener starts with '-' (it would be taken for an
  // option).
  std::string path = folder + "/" + utf8::FromCodePage1252(page);
  if (path.front() != '/')
    path = "./" + path;
  if (page.empty() || ::access(path.c_str(), R_OK) != 0) {
    // Nothing can be opened, not even by hand: a failure the command's
    // exit status must show.
    ++warnings_;
    Write("The page " + TerminalTextFromUtf8(path) +
          " is missing. Building varnox makes it beside the program (bash scripts/run.sh "
          "does); its text is in docs/ of Varnox's sources.\n");
    return;
  }
  bool opened = false;
  std::vector<char*> argv = {options_.web_opener.data(), path.data(), nullptr};
  pid_t pid;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    pid_t waited;
    do {
      waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    opened = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (!opened)
    Write("Open this page in your web browser: " + TerminalTextFromUtf8(path) + "\n");
}

}  // namespace varnox
