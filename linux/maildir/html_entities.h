// Looking up the named character references of HTML.
#ifndef VARNOX_LINUX_MAILDIR_HTML_ENTITIES_H_
#define VARNOX_LINUX_MAILDIR_HTML_ENTITIES_H_

#include <cstddef>
#include <string_view>

namespace varnox::maildir {

// The UTF-8 text of the reference `name` (without the "&", with its ";" when
// it has one: "amp;", or "amp" for the legacy form), or an empty view when
// HTML has no such name.
std::string_view NamedCharacterReference(std::string_view name);

// The longest legacy name (one recognised without its ";").
inline constexpr std::size_t kMaxLegacyReferenceLength = 6;
// The longest name, its ";" included.
inline constexpr std::size_t kMaxReferenceLength = 32;

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_HTML_ENTITIES_H_
