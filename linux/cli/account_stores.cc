#include "linux/cli/account_stores.h"

#include <algorithm>

#include "linux/cli/command_context.h"
#include "linux/imap/account_file.h"
#include "linux/platform/console_user_interface.h"
#include "linux/platform/xdg_paths.h"
#include "mail/process_new_item.h"

namespace varnox::cli {

// An account's notes, kept in its watch journal.
class AccountStores::JournalNotes final : public ImapJournal {
 public:
  explicit JournalNotes(watch::WatchJournal& journal) : journal_(journal) {}
  const std::map<std::string, std::string, std::less<>>& Notes() const override {
    return journal_.notes();
  }
  bool SetNote(std::string_view key, std::string_view value) override {
    return journal_.SetNote(key, value, watch::JournalNow());
  }
  std::optional<std::int64_t> Watermark() const override { return journal_.watermark(); }

 private:
  watch::WatchJournal& journal_;
};

namespace {

ImapVerdict VerdictOf(std::string_view appended) {
  switch (VerdictOfAppended(appended)) {
    case AppendedVerdict::kNotSpam:
      return ImapVerdict::kNotSpam;
    case AppendedVerdict::kSpam:
      return ImapVerdict::kSpam;
    case AppendedVerdict::kNonEnglishSpam:
      return ImapVerdict::kNonEnglishSpam;
    case AppendedVerdict::kBlackList:
      return ImapVerdict::kBlackList;
  }
  return ImapVerdict::kSpam;
}

}  // namespace

AccountStores::AccountStores() = default;
AccountStores::~AccountStores() = default;

int ReadAccounts(CommandContext& context, std::vector<ImapAccount>* accounts) {
  const std::string path = AccountFilePath(context.paths().config_folder);
  std::string error;
  switch (ReadAccountFile(path, watch::HomeFolder(), accounts, &error)) {
    case AccountFileRead::kRead:
      return kExitOk;
    case AccountFileRead::kMissing:
      return context.UserError("there is no file of IMAP accounts " + path +
                               " (docs/imap-accounts.md gives its format)");
    case AccountFileRead::kRefused:
      break;
  }
  return context.UserError(error);
}

int AccountStores::AddTo(CommandContext& context, watch::MailSession& session,
                         std::vector<std::string>* operands) {
  std::vector<std::string> names;
  std::erase_if(*operands, [&](const std::string& operand) {
    if (!operand.starts_with(kAccountPrefix))
      return false;
    names.push_back(operand.substr(kAccountPrefix.size()));
    return true;
  });
  if (names.empty())
    return kExitOk;
  std::vector<ImapAccount> accounts;
  if (const int status = ReadAccounts(context, &accounts); status != kExitOk)
    return status;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (std::find(names.begin(), names.begin() + static_cast<long>(i), name) !=
        names.begin() + static_cast<long>(i))
      return context.UserError("the account " + name + " is named twice");
    const auto account = std::find_if(accounts.begin(), accounts.end(),
                                      [&](const ImapAccount& a) { return a.name == name; });
    if (account == accounts.end())
      return context.UserError("the file of accounts has no account " + name);
    ImapStoreOptions options;
    options.watch = true;
    options.verdict_of = VerdictOf;
    options.tell = [&context](const std::string& text) {
      context.console().Write("varnox: " + TerminalTextFromUtf8(text) + "\n");
    };
    if (watch::WatchJournal* journal = session.OpenJournal(ImapStore::StoreName(name))) {
      notes_.push_back(std::make_unique<JournalNotes>(*journal));
      options.journal = notes_.back().get();
    }
    stores_.push_back(std::make_unique<ImapStore>(*account, std::move(options)));
    session.AddStoreLoop(*stores_.back());
  }
  return kExitOk;
}

}  // namespace varnox::cli
