#include "linux/cli/command_session.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "addin/vnx_addin.h"
#include "linux/cli/command_context.h"
#include "linux/maildir/maildir_folder.h"
#include "linux/platform/console_user_interface.h"

namespace varnox::cli {
namespace {

watch::MailSession& SessionFor(CommandContext& context, bool quiet,
                               std::unique_ptr<watch::MailSession>* own) {
  if (watch::MailSession* watched = context.serving_session())
    return *watched;
  *own = std::make_unique<watch::MailSession>(context, quiet);
  return **own;
}

}  // namespace

CommandSession::CommandSession(CommandContext& context, bool quiet)
    : context_(context), session_(SessionFor(context, quiet, &own_)) {}

CommandSession::~CommandSession() = default;

int CommandSession::CheckWatched(const std::string& store, const std::string& named) {
  const std::vector<std::string>& watched = session_.host().stores();
  if (std::find(watched.begin(), watched.end(), store) != watched.end())
    return kExitOk;
  return context_.UserError(TerminalTextFromUtf8(named) +
                            " is not in a Maildir store that the running varnox watch watches; "
                            "add the store to the watch, or stop it first");
}

int CommandSession::ConnectFiles(const std::vector<std::string>& message_files,
                                 std::unique_ptr<host::ItemList>* items) {
  if (own_ != nullptr)
    return session_.ConnectFiles(message_files, items);
  for (const std::string& file : message_files) {
    const std::string store = watch::StoreOf(file);
    if (store.empty())
      return context_.UserError("cannot read " + TerminalTextFromUtf8(file));
    if (int status = CheckWatched(store, file); status != kExitOk)
      return status;
  }
  return session_.MessageFiles(message_files, items);
}

int CommandSession::ConnectStore(const std::vector<std::string>& named) {
  if (own_ != nullptr) {
    int status = session_.AddStores(named);
    if (status == kExitOk)
      status = session_.Connect();
    if (status == kExitOk)
      store_ = session_.host().stores().front();
    return status;
  }
  const std::string given = named.empty() ? watch::DefaultStore() : named.front();
  std::error_code error;
  store_ = std::filesystem::canonical(given, error).string();
  if (error)
    return context_.UserError(TerminalTextFromUtf8(given) +
                              " is not a Maildir (it needs cur/ and new/ folders)");
  return CheckWatched(store_, given);
}

int CommandSession::Finish() {
  if (own_ != nullptr)
    return session_.Disconnect();
  // A failed save has been shown by the engine ("Cannot save database").
  return context_.Addin().filter.Save() != 0
             ? kExitOk
             : context_.UserError("the word database could not be saved");
}

int CheckMaildirMessages(CommandContext& context, const std::vector<std::string>& files,
                         std::string_view learn_instead) {
  for (const std::string& file : files) {
    const std::string subdir = maildir::ParentDirectory(file);
    const std::string name = maildir::BaseName(subdir);
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) {
      return context.UserError("cannot read " + TerminalTextFromUtf8(file) + ": " +
                               std::strerror(errno));
    }
    if (!S_ISREG(st.st_mode) || (name != "new" && name != "cur") ||
        !maildir::IsMaildir(maildir::ParentDirectory(subdir))) {
      return context.UserError(TerminalTextFromUtf8(file) +
                               " is not a message in the new/ or cur/ folder of a Maildir; to "
                               "teach the filter a message kept elsewhere, use `" +
                               std::string(learn_instead) + "`");
    }
  }
  return kExitOk;
}

}  // namespace varnox::cli
