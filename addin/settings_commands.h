// The toolbar commands of the settings and information dialogs: Settings,
// Mail Header, About, Help and Support. Each runs on the host's
// user-interface thread, never throws, and ignores the result of its dialog.
#ifndef VARNOX_ADDIN_SETTINGS_COMMANDS_H_
#define VARNOX_ADDIN_SETTINGS_COMMANDS_H_

#include <string_view>

namespace varnox {

class CVNXAddin;

// Runs the Settings dialog on the add-in's filter and settings.
void OnSettings(CVNXAddin& addin);

// Shows the transport headers of the one item selected in the active
// explorer. Nothing selected (or no explorer): nothing happens. Two or more:
// kSelectSingleMail (mail/message_texts.h). One: the Mail Headers dialog,
// with the headers HeadersToShow gives.
void OnMailHeader(CVNXAddin& addin);

void OnAbout(CVNXAddin& addin);

// Open the help page and the support page in the user's browser; a failure
// is not reported.
void OnHelp(CVNXAddin& addin);
void OnSupport(CVNXAddin& addin);

}  // namespace varnox

#endif  // VARNOX_ADDIN_SETTINGS_COMMANDS_H_
