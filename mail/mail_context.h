// What the operations on mail work with: the services, the user's
// settings, lists and filter, and the store objects the add-in found when it
// connected. The add-in object owns all of them and hands out this view (see
// addin/vnx_addin.h), so mail/ never sees the add-in's subscriptions,
// toolbar, explorer or module lock.
//
// Every member refers to an object owned elsewhere that outlives the view.
// The store references may be null (the spam folder until it is found or
// made, the top-level folders before OnConnection) and may be replaced while
// the view lives; mail code reads them each time it needs them.
#ifndef VARNOX_MAIL_MAIL_CONTEXT_H_
#define VARNOX_MAIL_MAIL_CONTEXT_H_

#include <memory>

#include "engine/bayesian_filter.h"
#include "host/folder.h"
#include "lists/sender_list.h"
#include "mail/not_spam_moves.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace varnox {

struct MailContext {
  Platform& platform;
  SettingsStore& settings;
  // The folder that receives spam ("SpamFilter").
  std::unique_ptr<host::Folder>& spamFolder;
  // The top-level folders of the store scanned last.
  std::unique_ptr<host::Folders>& topFolders;
  // Mail that Not Spam moved, not to be judged again when it arrives.
  NotSpamMoves& notSpamMoves;
  SenderList& whiteList;
  SenderList& blackList;
  BayesianFilter& filter;
};

}  // namespace varnox

#endif  // VARNOX_MAIL_MAIL_CONTEXT_H_
