// A fixture that runs the built `varnox` program with HOME pointed at a
// fresh folder, as a user would run it: to the end (Varnox), or in the
// background until stopped (Start / Stop).
#ifndef VARNOX_TESTS_LINUX_VARNOX_COMMAND_FIXTURE_H_
#define VARNOX_TESTS_LINUX_VARNOX_COMMAND_FIXTURE_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace varnox::testing {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// How many times `what` occurs in `text`.
inline std::size_t Count(const std::string& text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

class VarnoxCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnox-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    home = pattern;
    // The runtime folder too, so that the sockets of running watches stay
    // in the test's folder.
    env = {"HOME=" + home.string(), "PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8",
           "XDG_RUNTIME_DIR=" + home.string()};
  }
  void TearDown() override {
    if (background_ > 0)
      Stop();
    fs::remove_all(home);
  }

  fs::path Data(const char* name) const { return home / ".local/share/varnox" / name; }
  fs::path Settings() const { return home / ".config/varnox/settings.ini"; }

  // Runs varnox with `args` to its end.
  Outcome Varnox(std::vector<std::string> args) {
    const pid_t pid = Spawn(std::move(args), "run");
    Outcome run;
    if (pid > 0)
      run.status = Wait(pid);
    Collect("run", &run);
    return run;
  }

  // Runs varnox once for each of `runs`, all at the same time, to their end.
  std::vector<Outcome> VarnoxTogether(std::vector<std::vector<std::string>> runs) {
    std::vector<pid_t> pids;
    for (std::size_t i = 0; i < runs.size(); ++i)
      pids.push_back(Spawn(std::move(runs[i]), "together" + std::to_string(i)));
    std::vector<Outcome> outcomes(pids.size());
    for (std::size_t i = 0; i < pids.size(); ++i) {
      if (pids[i] > 0)
        outcomes[i].status = Wait(pids[i]);
      Collect("together" + std::to_string(i), &outcomes[i]);
    }
    return outcomes;
  }

  // Starts varnox with `args` in the background (one at a time).
  pid_t Start(std::vector<std::string> args) {
    background_ = Spawn(std::move(args), "background");
    return background_;
  }
  // Stops it with SIGTERM and gives its outcome.
  Outcome Stop(int signal_number = SIGTERM) {
    Outcome run;
    if (background_ > 0) {
      ::kill(background_, signal_number);
      run.status = Wait(background_);
      background_ = -1;
    }
    Collect("background", &run);
    return run;
  }
  // What the background run printed so far on its standard output.
  std::string BackgroundOutput() const { return Slurp(home / "background.out"); }

  // Waits up to `seconds` for `done` to hold, checking every 20 ms.
  static bool WaitFor(const std::function<bool()>& done, int seconds = 20) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  fs::path home;
  std::vector<std::string> env;
  // What the next runs read on their standard input (empty: /dev/null).
  std::string input;
  // Where the next runs start (empty: here).
  fs::path cwd;
  // The program the next runs start.
  fs::path program = VARNOX_BINARY;

 private:
  pid_t Spawn(std::vector<std::string> args, const std::string& name) {
    args.insert(args.begin(), program.string());
    std::vector<char*> argv;
    for (std::string& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string out = (home / (name + ".out")).string();
    const std::string err = (home / (name + ".err")).string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string in = input.empty() ? "/dev/null" : (home / (name + ".in")).string();
    if (!input.empty())
      std::ofstream(in, std::ios::binary) << input;
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!cwd.empty())
      posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
      pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Collect(const std::string& name, Outcome* run) {
    run->out = Slurp(home / (name + ".out"));
    run->err = Slurp(home / (name + ".err"));
    fs::remove(home / (name + ".out"));
    fs::remove(home / (name + ".err"));
  }

  pid_t background_ = -1;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_LINUX_VARNOX_COMMAND_FIXTURE_H_
