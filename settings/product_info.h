// What the product says of itself: its name and version as About shows them,
// and the pages that Help and Support open. This is the one place that
// names them; the About box (info_dialogs.h) and `varnox about`, `help` and
// `support` show them.
#ifndef VARNOX_SETTINGS_PRODUCT_INFO_H_
#define VARNOX_SETTINGS_PRODUCT_INFO_H_

#include <string_view>

namespace varnox {

// Pages opened in the user's browser by Help and Support: made from the
// project's docs/help.md and docs/support.md when the program is built, and
// installed with it.
inline constexpr std::string_view kHelpPage = "help.html";
inline constexpr std::string_view kSupportPage = "support.html";

inline constexpr std::string_view kProductTitle = "Varnox v1.2";
inline constexpr std::string_view kAboutNotice =
    "Varnox v1.2\n"
    "\n"
    "A Bayesian spam filter that learns from your mail.\n"
    "Help and Support are in the Settings menu.";

}  // namespace varnox

#endif  // VARNOX_SETTINGS_PRODUCT_INFO_H_
