// The registry seam over the current user's Win32 registry.
#ifndef VARNOX_WIN_PLATFORM_WIN_REGISTRY_H_
#define VARNOX_WIN_PLATFORM_WIN_REGISTRY_H_

#include "platform/registry.h"

namespace varnox {

// Opens keys under HKEY_CURRENT_USER with full access (RegOpenKeyExA) and
// never creates one. Results are the Win32 error codes unchanged. Any thread
// may call; each key is closed when its object is destroyed.
class WinRegistry final : public Registry {
 public:
  std::int32_t OpenCurrentUserKey(std::string_view path,
                                  std::unique_ptr<RegistryKey>* key) override;
};

// The process's one WinRegistry.
Registry& CurrentUserRegistry();

}  // namespace varnox

#endif  // VARNOX_WIN_PLATFORM_WIN_REGISTRY_H_
