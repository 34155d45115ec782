// Looking up the named character references of HTML.
#ifndef VARNOX_MIME_HTML_ENTITIES_H_
#define VARNOX_MIME_HTML_ENTITIES_H_

#include <cstddef>
#include <string_view>

namespace varnox::mime {

// The UTF-8 text of the reference `name` (without the "&", with its ";" when
// it has one: "amp;", or "amp" for the legacy form), or an empty view when
// HTML has no such name.
std::string_view NamedCharacterReference(std::string_view name);

// The longest legacy name (one recognised without its ";").
inline constexpr std::size_t kMaxLegacyReferenceLength = 6;
// The longest name, its ";" included.
inline constexpr std::size_t kMaxReferenceLength = 32;

}  // namespace varnox::mime

#endif  // VARNOX_MIME_HTML_ENTITIES_H_
