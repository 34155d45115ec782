// The add-in module (VarnoxMail.dll): its instance and file, and its
// registration. The four exported entry points live in module.cc.
#ifndef VARNOX_WIN_COM_MODULE_H_
#define VARNOX_WIN_COM_MODULE_H_

#include <windows.h>

#include <string>

#include "platform/hresult.h"
#include "win/com/registrar_script.h"

namespace varnox::win {

// The module's instance handle, recorded when it is loaded.
HINSTANCE ModuleInstance();
// The module file's full path as the system reports it.
std::wstring ModulePathWide();

// The "REGISTRY" 101 resource parsed, in UTF-8, with %MODULE% standing for
// `module_path_utf8`. kScriptSyntaxError when it does not parse, a failure
// when it is missing.
HResult LoadRegistrationScript(const std::string& module_path_utf8, RegistrarScript* script);

}  // namespace varnox::win

#endif  // VARNOX_WIN_COM_MODULE_H_
