// A registry script in the registrar script format, as the module carries it
// in its "REGISTRY" resource: parsed once, then carried out in either
// direction against a RegistrarTarget.
//
// The format: root blocks (HKCR, HKCU, HKLM, HKU, or their long names) holding
// keys; a key is an optional marking (ForceRemove, NoRemove), a name (bare,
// or in single quotes with '' for a quote), an optional default value
// ("= s 'text'" or "= d number"), and an optional block of subkeys and named
// values ("val Name = s 'text'"). Tokens are separated by white space.
// %NAME% stands for a replacement given to Parse; %% is a percent sign.
//
// Register: a ForceRemove key is deleted with its subtree first; then every
// key is created and every value written. Unregister: a ForceRemove key is
// deleted with its subtree; any other key is handled after its subkeys and
// then deleted if it has no subkeys left, unless it is marked NoRemove; a
// key that stays loses the named values the script lists for it.
//
// Portable: no OS header, so the interpreter is tested against a fake target.
#ifndef VARNOX_WIN_COM_REGISTRAR_SCRIPT_H_
#define VARNOX_WIN_COM_REGISTRAR_SCRIPT_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hresult.h"

namespace varnox::win {

enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers };

// Where a script is carried out. Paths are below the root, with backslashes.
// Statuses are COM statuses (a Win32 error wrapped as HRESULT_FROM_WIN32).
class RegistrarTarget {
 public:
  virtual ~RegistrarTarget() = default;
  // Opens the key, creating it and any missing parents.
  virtual HResult CreateKey(RegistryRoot root, const std::string& path) = 0;
  virtual bool KeyExists(RegistryRoot root, const std::string& path) = 0;
  virtual bool HasSubkeys(RegistryRoot root, const std::string& path) = 0;
  // Deletes a key that has no subkeys, with its values.
  virtual HResult DeleteKey(RegistryRoot root, const std::string& path) = 0;
  // Deletes a key with everything below it; an absent key is success.
  virtual HResult DeleteTree(RegistryRoot root, const std::string& path) = 0;
  // An empty `name` is the key's default value.
  virtual HResult SetString(RegistryRoot root, const std::string& path, const std::string& name,
                            const std::string& text) = 0;
  virtual HResult SetDword(RegistryRoot root, const std::string& path, const std::string& name,
                           std::uint32_t number) = 0;
  // An absent value is success.
  virtual HResult DeleteValue(RegistryRoot root, const std::string& path,
                              const std::string& name) = 0;
};

struct RegistrarValue {
  enum class Type { kString, kDword };
  std::string name;  // empty for the default value
  Type type = Type::kString;
  std::string text;
  std::uint32_t number = 0;
};

struct RegistrarKey {
  enum class Marking { kNone, kForceRemove, kNoRemove };
  std::string name;
  Marking marking = Marking::kNone;
  bool has_default = false;
  RegistrarValue default_value;
  std::vector<RegistrarValue> values;
  std::vector<RegistrarKey> subkeys;
};

struct RegistrarRoot {
  RegistryRoot root = RegistryRoot::kClassesRoot;
  std::vector<RegistrarKey> keys;
};

// Status of a script that does not parse (DISP_E_EXCEPTION, as the system
// registrar answers).
inline constexpr HResult kScriptSyntaxError = static_cast<HResult>(0x80020009u);

class RegistrarScript {
 public:
  // Blocks nested deeper than this are refused (the interpreter recurses).
  static constexpr int kMaxDepth = 32;

  // Parses `text`, each %NAME% replaced by replacements.at(NAME) with every
  // single quote doubled (replacements stand inside quoted strings). On a
  // syntax error or an unknown %NAME%: false, and *error says where.
  bool Parse(std::string_view text, const std::map<std::string, std::string>& replacements,
             std::string* error);

  // Stop at the first failing status and return it; kSOk otherwise.
  HResult Register(RegistrarTarget& target) const;
  HResult Unregister(RegistrarTarget& target) const;

  const std::vector<RegistrarRoot>& roots() const { return roots_; }

 private:
  std::vector<RegistrarRoot> roots_;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_COM_REGISTRAR_SCRIPT_H_
