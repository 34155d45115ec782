// What the watch service's sessions need of the program that runs them: the
// add-in they connect, the services, where their journals live, and where
// they say things. `varnox` gives its command context; a test, its own.
//
// Statuses: kSessionOk, or what UserError gave (the program's exit status
// for a refusal, after it has said why).
#ifndef VARNOX_LINUX_WATCH_SESSION_CONTEXT_H_
#define VARNOX_LINUX_WATCH_SESSION_CONTEXT_H_

#include <string>
#include <string_view>

namespace varnox {
struct Platform;
class FileSystem;
class ConsoleUserInterface;
class CVNXAddin;
}  // namespace varnox

namespace varnox::watch {

inline constexpr int kSessionOk = 0;

class SessionContext {
 public:
  virtual ~SessionContext() = default;

  // The add-in the session connects; it outlives the session.
  virtual CVNXAddin& Addin() = 0;
  virtual const Platform& platform() const = 0;
  virtual FileSystem& files() = 0;
  // Warnings and notes for the person running the program.
  virtual ConsoleUserInterface& console() = 0;
  // Where the stores' journals are kept (watch-journal.md).
  virtual std::string JournalFolder() const = 0;
  // UTF-8 text to the standard output, as it is.
  virtual void Print(std::string_view utf8) = 0;
  // Says what went wrong ("varnox: ..." on the standard error) and gives the
  // status to end with.
  virtual int UserError(std::string_view utf8_message) = 0;
};

}  // namespace varnox::watch

#endif  // VARNOX_LINUX_WATCH_SESSION_CONTEXT_H_
