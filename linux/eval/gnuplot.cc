#include "linux/eval/gnuplot.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern char** environ;

namespace varnox::eval {

std::string FindGnuplot() {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/bin:/bin";
  while (true) {
    const std::size_t colon = dirs.find(':');
    // An empty entry of PATH is the working directory.
    const std::string_view dir = colon == 0 || dirs.empty() ? "." : dirs.substr(0, colon);
    std::string candidate(dir);
    candidate.append("/gnuplot");
    if (::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (colon == std::string_view::npos)
      return {};
    dirs.remove_prefix(colon + 1);
  }
}

bool RunGnuplot(const std::string& gnuplot, const std::string& dir, const std::string& script,
                std::string* error) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::string program = gnuplot, argument = script;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    *error = gnuplot + " could not be started: " + std::strerror(spawned);
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = std::string("waiting for gnuplot failed: ") + std::strerror(errno);
      return false;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
    return true;
  *error = WIFEXITED(status)
               ? "gnuplot failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")"
               : "gnuplot was killed by signal " + std::to_string(WTERMSIG(status));
  return false;
}

}  // namespace varnox::eval
