// systemd's own reading of the unit `varnox service` prints:
// `systemd-analyze verify` (which also checks that ExecStart names an
// executable file, so a path it unquotes wrongly fails).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "linux/watch/systemd_unit.h"
#include "tests/linux/varnox_command_fixture.h"

namespace varnox {
namespace {

using testing::Outcome;
using testing::VarnoxCommandTest;
namespace fs = std::filesystem;

// Runs `systemd-analyze --user verify` on `unit`; its status and what it
// said, or status -1 when it cannot run here.
struct Verdict {
  int status = -1;
  std::string said;
};
Verdict Verify(const fs::path& folder, const fs::path& unit) {
  const fs::path runtime = folder / "runtime";  // the user manager wants one
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  const std::string command = "XDG_RUNTIME_DIR='" + runtime.string() +
                              "' systemd-analyze --user verify '" + unit.string() + "' 2>&1";
  Verdict verdict;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr)
    return verdict;
  char buffer[512];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
    verdict.said.append(buffer, n);
  const int status = ::pclose(pipe);
  verdict.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return verdict;
}

bool CanVerify() {
  return std::system("command -v systemd-analyze >/dev/null 2>&1") == 0;
}

TEST_F(VarnoxCommandTest, ServicePrintsAUnitSystemdAccepts) {
  if (!CanVerify())
    GTEST_SKIP() << "systemd-analyze is not installed (Debian package systemd)";
  // The store given relative, with every character a unit line treats
  // specially; the data folder from the environment.
  env.push_back("XDG_DATA_HOME=" + (home / "data").string());
  env.push_back("MAILDIR=relative/Mail");
  const Outcome run = Varnox({"service"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("ExecStart=\"" + fs::canonical(VARNOX_BINARY).string() + "\" watch \"" +
                         fs::current_path().string() + "/relative/Mail\"\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Environment=\"XDG_DATA_HOME=" + (home / "data").string() + "\"\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Restart=on-failure\n"), std::string::npos);
  EXPECT_NE(run.out.find("KillSignal=SIGTERM\n"), std::string::npos);
  const fs::path unit = home / "varnox.service";
  std::ofstream(unit) << run.out;
  const Verdict printed = Verify(home, unit);
  EXPECT_EQ(printed.status, 0) << printed.said;
  EXPECT_EQ(printed.said, "") << "any warning is a line systemd ignored";

  // A program whose path needs escapes: verify finds it only when the path
  // is unquoted back to what it is. The store's characters are all allowed.
  const fs::path program = home / "a b%c$d" / "varnox";
  fs::create_directories(program.parent_path());
  std::ofstream(program) << "#!/bin/sh\n";
  fs::permissions(program, fs::perms::owner_all);
  const std::optional<std::string> text = watch::UserUnit(
      {program.string(), {(home / "a b%c$d\"e\\f'g").string()}, {{"XDG_DATA_HOME", "/%$\""}}});
  ASSERT_TRUE(text.has_value());
  std::ofstream(unit) << *text;
  const Verdict odd_path = Verify(home, unit);
  EXPECT_EQ(odd_path.status, 0) << odd_path.said << *text;
  EXPECT_EQ(odd_path.said, "") << *text;

  // The check can fail: the same path written without escapes is not found.
  std::ofstream(unit) << "[Service]\nExecStart=\"" << program.string() << "\" watch\n";
  EXPECT_NE(Verify(home, unit).status, 0);
}

TEST_F(VarnoxCommandTest, ServiceRefusesAPathAUnitCannotHold) {
  env.push_back("MAILDIR=/tmp/Mail\nbox");
  const Outcome run = Varnox({"service"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("control character"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace varnox
