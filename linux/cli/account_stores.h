// The IMAP accounts a command names (operands "imap:NAME", from the file of
// accounts, docs/imap-accounts.md), as store loops that a watch session
// runs beside its Maildir stores, each with its journal's notes.
#ifndef VARNOX_LINUX_CLI_ACCOUNT_STORES_H_
#define VARNOX_LINUX_CLI_ACCOUNT_STORES_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "linux/imap/imap_store.h"
#include "linux/watch/mail_session.h"

namespace varnox::cli {

class CommandContext;

inline constexpr std::string_view kAccountPrefix = "imap:";

class AccountStores {
 public:
  AccountStores();
  ~AccountStores();
  AccountStores(const AccountStores&) = delete;
  AccountStores& operator=(const AccountStores&) = delete;

  // Takes the operands naming accounts out of *operands and adds a watching
  // store of each to `session`. kExitOk, or a user error said (no file of
  // accounts, a damaged one, an account it does not hold, one named twice).
  int AddTo(CommandContext& context, watch::MailSession& session,
            std::vector<std::string>* operands);

  const std::vector<std::unique_ptr<ImapStore>>& stores() const { return stores_; }

 private:
  class JournalNotes;
  std::vector<std::unique_ptr<JournalNotes>> notes_;
  std::vector<std::unique_ptr<ImapStore>> stores_;
};

// The accounts of the file `context` reads, by name; kExitOk, or a user
// error said.
int ReadAccounts(CommandContext& context, std::vector<ImapAccount>* accounts);

}  // namespace varnox::cli

#endif  // VARNOX_LINUX_CLI_ACCOUNT_STORES_H_
