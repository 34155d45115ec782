// The toolbar commands on mail: Mark Spam and Not Spam on the messages
// selected in the active explorer, and Train Filter on the folders chosen in
// "Train Bayesian Filter". Each reads what the user chose and hands it to the
// operation of mail/ (mark_commands.h, training.h); the operation does the
// work and says what it did. Run on the host's user-interface thread; never
// throw.
#ifndef VARNOX_ADDIN_MAIL_COMMANDS_H_
#define VARNOX_ADDIN_MAIL_COMMANDS_H_

namespace varnox {

class CVNXAddin;

// Mark Spam on the selection. An empty selection, or one that is not one
// (its class is not olSelection), or no explorer: nothing happens.
void OnMarkSpam(CVNXAddin& addin);

// Not Spam on the selection, moving the mail out when the explorer shows the
// spam folder (the folder named "SpamFilter", any case); where to is asked
// in "Select Outlook Folder" when NotSpamFolderName is empty.
void OnNotSpam(CVNXAddin& addin);

// Runs "Train Bayesian Filter" over the store's mail folders; on "Start
// Training", trains from the folders chosen.
void OnTrainFilter(CVNXAddin& addin);

}  // namespace varnox

#endif  // VARNOX_ADDIN_MAIL_COMMANDS_H_
