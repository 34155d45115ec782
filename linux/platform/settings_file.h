// The text of the settings file that stands in for the registry key
// "Software\Varnox MSOutlook" on Linux: a typed, .reg-like INI file that a
// person can read and edit. docs/settings-file.md describes the format.
//
// A SettingsFile is the parsed text. It keeps every line as it was read, so
// that setting one value rewrites that value's line and leaves comments,
// blank lines, lines of other sections and damaged lines exactly as they
// were. Parsing never fails: a line that is not understood is kept and
// ignored. Values are held as the registry holds them: a type and the raw
// bytes, strings in code page 1252 with their terminating NUL.
#ifndef VARNOX_LINUX_PLATFORM_SETTINGS_FILE_H_
#define VARNOX_LINUX_PLATFORM_SETTINGS_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace varnox {

class SettingsFile {
 public:
  // The one key the file holds, and the section header that names it.
  static constexpr char kKeyPath[] = "Software\\Varnox MSOutlook";
  // A settings file holds a dozen short values. Anything larger is not one
  // (a wrong path, a damaged disk): it is neither read nor rewritten, so
  // reading it can never take much memory.
  static constexpr std::size_t kMaxFileBytes = 1 << 20;

  struct Value {
    RegistryType type = RegistryType::kNone;
    std::string data;  // exact bytes
  };

  // Parses `text`; see the format description for what damaged lines read as.
  static SettingsFile Parse(std::string_view text);

  // A new file: a comment that explains the format, and the key's section
  // header. Values added with Set go below it.
  static SettingsFile Empty();

  // The value of `name` (compared ignoring letter case, as the registry
  // does), or null. When several lines name it, the last one counts.
  const Value* Find(std::string_view name) const;

  // Stores a value: rewrites the line that Find reads, or adds a line at the
  // end of the key's section. False, and nothing changed, when `name` cannot
  // be written on one line (it holds a line break, a NUL or another control
  // character).
  bool Set(std::string_view name, RegistryType type, std::string_view data);

  // The whole file: every line ended by a line feed.
  std::string Text() const;

  // The line that stores `value` under `name` (no line feed), in the form a
  // person would write: "name"="text" for a terminated plain string,
  // "name"=dword:0000002a for a four-byte DWORD, hex(type):.. otherwise.
  // `name` must be writable (see Set).
  static std::string FormatLine(std::string_view name, const Value& value);

  // Whether `name` can be written on one line.
  static bool IsWritableName(std::string_view name);

 private:
  struct Line {
    std::string text;        // as read or formatted, without its line feed
    bool in_key = false;     // lies in the key's section (or is its header)
    bool is_header = false;  // a section header "[...]"
    bool is_value = false;   // a well-formed value line (then in_key holds too)
    std::string name;        // code page 1252
    Value value;
  };

  std::vector<Line> lines_;
  // The file began with a UTF-8 byte order mark (an editor's); it is written
  // back, so that a rewrite reads exactly as the file it replaces.
  bool byte_order_mark_ = false;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_PLATFORM_SETTINGS_FILE_H_
