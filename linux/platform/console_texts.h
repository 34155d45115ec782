// The words a Linux user reads in place of the mail client's. The core
// speaks of Outlook, its menus and its folders; on a console those texts
// would point at things that are not there, so the console shows its own
// at its edge. Windows keeps the core's texts as they are.
#ifndef VARNOX_LINUX_PLATFORM_CONSOLE_TEXTS_H_
#define VARNOX_LINUX_PLATFORM_CONSOLE_TEXTS_H_

#include <string_view>

namespace varnox {

// The console's text for a caption or message text of the core; the text
// itself when the console has no other.
std::string_view ConsoleText(std::string_view core_text);

}  // namespace varnox

#endif  // VARNOX_LINUX_PLATFORM_CONSOLE_TEXTS_H_
