// The registrar script's target over the real Win32 registry.
#ifndef VARNOX_WIN_COM_WIN_REGISTRAR_TARGET_H_
#define VARNOX_WIN_COM_WIN_REGISTRAR_TARGET_H_

#include "win/com/registrar_script.h"

namespace varnox::win {

// Keys are opened in the process's own registry view and closed within each
// call. Names and text are UTF-8 (written through the wide calls), so a
// module path holding any character is written as the system reports it.
class WinRegistrarTarget final : public RegistrarTarget {
 public:
  HResult CreateKey(RegistryRoot root, const std::string& path) override;
  bool KeyExists(RegistryRoot root, const std::string& path) override;
  bool HasSubkeys(RegistryRoot root, const std::string& path) override;
  HResult DeleteKey(RegistryRoot root, const std::string& path) override;
  HResult DeleteTree(RegistryRoot root, const std::string& path) override;
  HResult SetString(RegistryRoot root, const std::string& path, const std::string& name,
                    const std::string& text) override;
  HResult SetDword(RegistryRoot root, const std::string& path, const std::string& name,
                   std::uint32_t number) override;
  HResult DeleteValue(RegistryRoot root, const std::string& path, const std::string& name) override;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_COM_WIN_REGISTRAR_TARGET_H_
