// varnox blacklist / varnox whitelist: the changes of the BlackList and
// WhiteList dialogs from the command line. Both commands are one, run with
// the list of their kind. Every change is the dialogs' own (lists/
// list_edits.h), so its duplicate checks and messages are the client's.
#include <optional>
#include <string>
#include <vector>

#include "addin/vnx_addin.h"
#include "linux/cli/command_context.h"
#include "linux/platform/console_user_interface.h"
#include "linux/watch/database_lock.h"
#include "lists/list_edits.h"
#include "platform/code_page.h"
#include "platform/platform.h"
#include "platform/user_interface.h"
#include "platform/utf8.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--address", "--domain"};

constexpr std::string_view kBlackHelp =
    "Usage: varnox blacklist [list] [--address | --domain]\n"
    "       varnox blacklist add [--address | --domain] ENTRY...\n"
    "       varnox blacklist update [--address | --domain] OLD NEW\n"
    "       varnox blacklist remove [--address | --domain] ENTRY...\n"
    "\n"
    "The black list: mail from a listed sender is moved to SpamFilter without\n"
    "being judged, with a note in its headers (learned as spam when the setting\n"
    "LearnFromBlackListed is on). An entry is a mail address (joe@example.com)\n"
    "or a domain, written with its \"@\" (@example.com).\n";

constexpr std::string_view kWhiteHelp =
    "Usage: varnox whitelist [list] [--address | --domain]\n"
    "       varnox whitelist add [--address | --domain] ENTRY...\n"
    "       varnox whitelist update [--address | --domain] OLD NEW\n"
    "       varnox whitelist remove [--address | --domain] ENTRY...\n"
    "\n"
    "The white list: mail from a listed sender is left alone, never judged\n"
    "(learned as good mail when the setting LearnFromWhiteListed is on). The\n"
    "white list is asked first, so a sender on both lists is white-listed. An\n"
    "entry is a mail address (joe@example.com) or a domain, written with its\n"
    "\"@\" (@example.com).\n";

constexpr std::string_view kCommonHelp =
    "\n"
    "  list     the entries (the default); with --address or --domain only those\n"
    "  add      adds each ENTRY; one that is there already, in any letter case,\n"
    "           is refused\n"
    "  update   replaces the entry OLD with NEW\n"
    "  remove   removes each ENTRY, after asking (--yes answers yes)\n"
    "\n"
    "  --address  the entries are mail addresses\n"
    "  --domain   the entries are domains; a new one is stored with its \"@\"\n"
    "             (--domain example.com adds @example.com)\n"
    "Without either, an entry that starts with \"@\" is a domain and any other\n"
    "holding an \"@\" an address; update and remove look for the entry among\n"
    "both. Entries are kept as typed. Changes are written to the list file at\n"
    "once; a running varnox watch sees them before it judges the next message.\n"
    "Two changes at once wait for each other, so neither is lost.\n"
    "\n"
    "Exit status 1 when any entry was refused or not found, or when the list\n"
    "file cannot be read (then nothing is changed).\n";

std::string BlackHelp() {
  return std::string(kBlackHelp) + std::string(kCommonHelp);
}
std::string WhiteHelp() {
  return std::string(kWhiteHelp) + std::string(kCommonHelp);
}
const std::string kBlackHelpText = BlackHelp();
const std::string kWhiteHelpText = WhiteHelp();

std::string_view ListName(ListKind kind) {
  return kind == ListKind::Black ? "black list" : "white list";
}

// Texts read from the dialog's text field or rows are cut to this many
// characters; the command refuses longer ones instead.
constexpr std::size_t kMaxEntryChars = 259;

// The entry kinds to look at: the one the options name, or both.
std::vector<EntryKind> KindsAsked(const Arguments& arguments) {
  if (arguments.Has("--address"))
    return {EntryKind::kAddress};
  if (arguments.Has("--domain"))
    return {EntryKind::kDomain};
  return {EntryKind::kAddress, EntryKind::kDomain};
}

// An entry typed on the command line (UTF-8) as the list keeps it (code page
// 1252). False, with *error, when it cannot be kept as typed.
bool EntryText(const std::string& typed, std::string* entry, std::string* error) {
  *entry = utf8::ToCodePage1252(typed);
  if (typed.empty()) {
    *error = "an entry cannot be empty";
  } else if (!utf8::IsValid(typed) || utf8::FromCodePage1252(*entry) != typed) {
    *error = "'" + TerminalTextFromUtf8(typed) + "' has characters that the lists cannot hold";
  } else if (entry->size() > kMaxEntryChars) {
    *error = "'" + TerminalTextFromUtf8(typed) + "' is longer than " +
             std::to_string(kMaxEntryChars) + " characters";
  } else {
    return true;
  }
  return false;
}

// A domain entry matches only with its "@" (@example.com): one given without
// it is stored with it.
std::string WithDomainSign(EntryKind kind, std::string entry) {
  if (kind == EntryKind::kDomain && !entry.empty() && entry.front() != '@')
    entry.insert(entry.begin(), '@');
  return entry;
}

// The kind of a new entry: the one asked for, else read from its form;
// nullopt when the form does not tell.
std::optional<EntryKind> KindOfNewEntry(const Arguments& arguments, std::string_view entry) {
  const std::vector<EntryKind> kinds = KindsAsked(arguments);
  if (kinds.size() == 1)
    return kinds[0];
  if (entry.front() == '@')
    return EntryKind::kDomain;
  if (entry.find('@') != std::string_view::npos)
    return EntryKind::kAddress;
  return std::nullopt;
}

class ListRun {
 public:
  ListRun(CommandContext& context, ListKind kind)
      : context_(context),
        list_(kind == ListKind::Black ? context.Addin().blackList : context.Addin().whiteList) {}

  // For a change: waits until no other command changes the list file, so
  // that a read-change-write is never undone by another one. Then reads the
  // file; kExitOk, or what is wrong with it said.
  int Open(bool changing) {
    std::string error;
    if (changing && !list_.FilePath().empty()) {
      lock_ = watch::DatabaseLock::Wait(list_.FilePath(), &error);
      if (lock_ == nullptr)
        return context_.UserError(error + "; nothing was changed");
    }
    error = ListFileProblem(list_);
    return error.empty() ? kExitOk : context_.UserError(error + "; nothing was changed");
  }

  // Tells the user the result of a change as the dialog does (`done` is
  // its text when the change was made); kExitOk when it was made. Memory
  // then holds the file again, as in the client after its dialog.
  int Told(ListEdit result, EntryKind kind, std::string_view done) {
    std::string_view text = done;
    if (result == ListEdit::kExists)
      text = EntryExistsText(list_.kind(), kind);
    else if (result == ListEdit::kNotWritten)
      text = kListNotWritten;
    Say(text);
    if (result != ListEdit::kDone)
      return kExitUserError;
    list_.Load();
    return kExitOk;
  }

  // A question answered Yes (with --yes, or on a terminal).
  bool Confirmed(std::string_view question) {
    return context_.platform().ui.ShowMessage(question, "", kMbYesNo) == kIdYes;
  }

  // The entries of `kind`, in order.
  const std::vector<std::string>& Entries(EntryKind kind) const {
    return kind == EntryKind::kAddress ? list_.addresses() : list_.domains();
  }

  // The kind among `kinds` that holds `entry` (as the dialog finds rows:
  // exactly first, then ignoring letter case), and *stored its text there.
  std::optional<EntryKind> KindHolding(const std::vector<EntryKind>& kinds,
                                       const std::string& entry, std::string* stored) {
    for (bool exactly : {true, false}) {
      for (EntryKind kind : kinds) {
        for (const std::string& row : Entries(kind)) {
          if (exactly ? row == entry : code_page::EqualsIgnoreCase(row, entry)) {
            *stored = row;
            return kind;
          }
        }
      }
    }
    return std::nullopt;
  }

  int NotFound(std::string_view entry) {
    return context_.UserError("'" + TerminalText(entry) + "' is not in the " +
                              std::string(ListName(list_.kind())));
  }

  SenderList& list() { return list_; }

 private:
  void Say(std::string_view text) { context_.platform().ui.ShowMessage(text, "", kMbOk); }

  CommandContext& context_;
  SenderList& list_;
  std::unique_ptr<watch::DatabaseLock> lock_;
};

int ListEntries(CommandContext& context, ListRun& run, const Arguments& arguments) {
  const std::vector<EntryKind> kinds = KindsAsked(arguments);
  std::string text;
  for (EntryKind kind : kinds) {
    const std::vector<std::string>& entries = run.Entries(kind);
    if (kinds.size() > 1)
      text += std::string(kind == EntryKind::kAddress ? "Addresses" : "Domains") +
              (entries.empty() ? ": none\n" : ":\n");
    for (const std::string& entry : entries)
      text += (kinds.size() > 1 ? "  " : "") + TerminalText(entry) + "\n";
  }
  context.Print(text);
  return kExitOk;
}

// Does `one_entry` for each entry typed, after its text was checked; the
// first failure's status (each failure said), or kExitOk.
template <typename OneEntry>
int ForEachEntry(CommandContext& context, std::span<const std::string> typed, std::string_view what,
                 OneEntry one_entry) {
  if (typed.empty())
    return context.UserError(std::string(what) + " needs the entries");
  int status = kExitOk;
  for (const std::string& one : typed) {
    std::string entry, error;
    const int result = EntryText(one, &entry, &error) ? one_entry(entry) : context.UserError(error);
    if (status == kExitOk)
      status = result;
  }
  return status;
}

int AddOne(CommandContext& context, ListRun& run, const Arguments& arguments,
           const std::string& entry) {
  const std::optional<EntryKind> kind = KindOfNewEntry(arguments, entry);
  if (!kind) {
    return context.UserError("is '" + TerminalText(entry) +
                             "' an address or a domain? Say --address or --domain (a "
                             "domain entry is written with its \"@\": @example.com)");
  }
  const ListEdit result = AddEntry(run.list(), *kind, WithDomainSign(*kind, entry));
  return run.Told(result, *kind, EntryAddedText(run.list().kind()));
}

int RemoveOne(ListRun& run, const Arguments& arguments, const std::string& entry) {
  std::string stored;
  const std::optional<EntryKind> kind = run.KindHolding(KindsAsked(arguments), entry, &stored);
  if (!kind)
    return run.NotFound(entry);
  if (!run.Confirmed(RemoveEntriesQuestion(run.list().kind(), 1)))
    return kExitUserError;  // the answer was said
  const ListEdit result = RemoveEntries(run.list(), *kind, {stored});
  return run.Told(result, *kind, EntriesRemovedText(run.list().kind(), 1));
}

int UpdateOne(CommandContext& context, ListRun& run, const Arguments& arguments,
              std::span<const std::string> typed) {
  if (typed.size() != 2)
    return context.UserError("update needs the entry to change and its new text: OLD NEW");
  std::string old_entry, new_entry, error;
  if (!EntryText(typed[0], &old_entry, &error) || !EntryText(typed[1], &new_entry, &error))
    return context.UserError(error);
  std::string stored;
  const std::optional<EntryKind> kind = run.KindHolding(KindsAsked(arguments), old_entry, &stored);
  if (!kind)
    return run.NotFound(old_entry);
  const ListEdit result = UpdateEntry(run.list(), *kind, stored, WithDomainSign(*kind, new_entry));
  return run.Told(result, *kind, EntryUpdatedText(run.list().kind()));
}

// The action named first, "list" when none is.
std::string ActionOf(const Arguments& arguments) {
  return arguments.operands.empty() ? "list" : arguments.operands[0];
}

int CheckFor(ListKind kind, CommandContext& context, const Arguments& arguments) {
  if (arguments.Has("--address") && arguments.Has("--domain"))
    return context.UserError("give --address or --domain, not both");
  const std::string action = ActionOf(arguments);
  const std::string name = kind == ListKind::Black ? "blacklist" : "whitelist";
  if (action != "list" && action != "add" && action != "update" && action != "remove")
    return context.UserError("unknown action '" + TerminalTextFromUtf8(action) + "' (see varnox " +
                             name + " --help)");
  if (action == "list" && arguments.operands.size() > 1)
    return context.UserError("list takes no entries (see varnox " + name + " --help)");
  return kExitOk;
}

int RunFor(ListKind kind, CommandContext& context, const Arguments& arguments) {
  const std::vector<std::string>& operands = arguments.operands;
  const std::string action = ActionOf(arguments);
  const std::span<const std::string> rest =
      operands.empty() ? std::span<const std::string>() : std::span(operands).subspan(1);
  ListRun run(context, kind);
  if (int status = run.Open(action != "list"); status != kExitOk)
    return status;
  if (action == "add") {
    return ForEachEntry(context, rest, action, [&](const std::string& entry) {
      return AddOne(context, run, arguments, entry);
    });
  }
  if (action == "remove") {
    return ForEachEntry(context, rest, action,
                        [&](const std::string& entry) { return RemoveOne(run, arguments, entry); });
  }
  if (action == "update")
    return UpdateOne(context, run, arguments, rest);
  return ListEntries(context, run, arguments);
}

int CheckBlack(CommandContext& context, const Arguments& arguments) {
  return CheckFor(ListKind::Black, context, arguments);
}
int CheckWhite(CommandContext& context, const Arguments& arguments) {
  return CheckFor(ListKind::White, context, arguments);
}
int RunBlack(CommandContext& context, const Arguments& arguments) {
  return RunFor(ListKind::Black, context, arguments);
}
int RunWhite(CommandContext& context, const Arguments& arguments) {
  return RunFor(ListKind::White, context, arguments);
}

}  // namespace

extern const Command kBlackListCommand{.name = "blacklist",
                                       .summary = "list, add, change and remove blocked senders",
                                       .help = kBlackHelpText,
                                       .options = kOptions,
                                       .run = RunBlack,
                                       .needs = Needs::kSettings,
                                       .first = CheckBlack};
extern const Command kWhiteListCommand{.name = "whitelist",
                                       .summary = "list, add, change and remove trusted senders",
                                       .help = kWhiteHelpText,
                                       .options = kOptions,
                                       .run = RunWhite,
                                       .needs = Needs::kSettings,
                                       .first = CheckWhite};

}  // namespace varnox::cli
