#include "linux/platform/copy_writer.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

namespace varnox {
namespace {

// When process `id` started, in seconds since 1970, from /proc; false when
// that cannot be told.
bool ProcessStartTime(pid_t id, double* seconds) {
  std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
  std::string line;
  if (!std::getline(stat, line))
    return false;
  // The command name in parentheses may hold anything; fields follow the
  // last ")": state is the 3rd field, the start time (clock ticks after boot)
  // the 22nd.
  const std::string::size_type paren = line.rfind(')');
  if (paren == std::string::npos)
    return false;
  std::istringstream fields(line.substr(paren + 1));
  std::string field;
  for (int i = 3; i < 22 && fields >> field; ++i) {
  }
  unsigned long long ticks = 0;
  if (!(fields >> ticks))
    return false;
  std::ifstream boot("/proc/stat");
  for (std::string key; boot >> key;) {
    if (key == "btime") {
      unsigned long long boot_time = 0;
      const long per_second = ::sysconf(_SC_CLK_TCK);
      if (!(boot >> boot_time) || per_second <= 0)
        return false;
      *seconds = static_cast<double>(boot_time) + static_cast<double>(ticks) / per_second;
      return true;
    }
  }
  return false;
}

}  // namespace

bool CopyWriterGone(pid_t writer, const struct timespec& last_written) {
  if (::kill(writer, 0) != 0 && errno == ESRCH)
    return true;
  double started = 0;
  if (!ProcessStartTime(writer, &started))
    return false;
  constexpr double kMargin = 2.0;
  return started > static_cast<double>(last_written.tv_sec) + kMargin;
}

}  // namespace varnox
