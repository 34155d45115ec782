// The toolbar commands BlackList and WhiteList: each runs the list dialog on
// the add-in's list of its kind, modally, and reloads that list from its file
// when the dialog reports a change that reached the file.
#ifndef VARNOX_ADDIN_LIST_COMMANDS_H_
#define VARNOX_ADDIN_LIST_COMMANDS_H_

namespace varnox {

class CVNXAddin;

// Never throw; show nothing of their own beyond the dialog.
void OnBlackList(CVNXAddin& addin);
void OnWhiteList(CVNXAddin& addin);

}  // namespace varnox

#endif  // VARNOX_ADDIN_LIST_COMMANDS_H_
