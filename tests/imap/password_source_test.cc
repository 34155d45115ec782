#include "linux/imap/password_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace varnox {
namespace {

constexpr char kSecret[] = "correct horse";

class PasswordSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/varnox-password-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }

  std::string File(const std::string& name, const std::string& text, mode_t mode) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << text;
    ::chmod(path.c_str(), mode);
    return path;
  }
  static ImapAccount Account() {
    ImapAccount account;
    account.name = "work";
    return account;
  }

  std::string dir_;
};

TEST_F(PasswordSourceTest, TakesTheFirstLineOfAFileOfTheUsersOwn) {
  struct Case {
    const char* text;
    mode_t mode;
    const char* password;  // null: refused
    const char* error;
  };
  const Case cases[] = {
      {"correct horse\n", 0600, kSecret, ""},
      {"correct horse\r\nsecond line\n", 0400, kSecret, ""},
      {"correct horse", 0600, kSecret, ""},
      {"correct horse\n", 0640, nullptr, "may be read or changed by others"},
      {"correct horse\n", 0604, nullptr, "may be read or changed by others"},
      {"correct horse\n", 0620, nullptr, "may be read or changed by others"},
      {"\nlater\n", 0600, nullptr, "holds no password on its first line"},
      {"", 0600, nullptr, "holds no password on its first line"},
  };
  for (const Case& c : cases) {
    ImapAccount account = Account();
    account.password_file = File("pass", c.text, c.mode);
    SecretText password;
    std::string error;
    const bool read = ReadAccountPassword(account, &password, &error);
    if (c.password != nullptr) {
      ASSERT_TRUE(read) << error;
      EXPECT_STREQ(password.c_str(), c.password);
    } else {
      EXPECT_FALSE(read) << c.text;
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      EXPECT_EQ(error.find("horse"), std::string::npos) << "the password in: " << error;
      EXPECT_TRUE(password.empty());
    }
  }
}

TEST_F(PasswordSourceTest, RefusesWhatIsNotAPasswordFile) {
  ImapAccount account = Account();
  SecretText password;
  std::string error;
  account.password_file = dir_ + "/missing";
  EXPECT_FALSE(ReadAccountPassword(account, &password, &error));
  EXPECT_EQ(error, "account work: password-file " + dir_ +
                       "/missing cannot be read: No such file or directory");

  account.password_file = dir_;
  EXPECT_FALSE(ReadAccountPassword(account, &password, &error));
  EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;

  account.password_file = File("big", std::string(kMaxPasswordSourceBytes + 1, 'x'), 0600);
  EXPECT_FALSE(ReadAccountPassword(account, &password, &error));
  EXPECT_NE(error.find("larger than a password"), std::string::npos) << error;

  // Another user's file, however closed, is not the user's password.
  account.password_file = File("theirs", "correct horse\n", 0600);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(account.password_file.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(ReadAccountPassword(account, &password, &error));
    EXPECT_NE(error.find("belongs to another user"), std::string::npos) << error;
  }
}

TEST_F(PasswordSourceTest, RunsTheCommandWithoutAShell) {
  struct Case {
    std::vector<std::string> command;
    const char* password;  // null: refused
    const char* error;
  };
  // The words reach the program as they are: "$HOME" is not expanded, ";" runs nothing.
  const Case cases[] = {
      {{"printf", "%s\\nrest\\n", "correct horse"}, kSecret, ""},
      {{"echo", "$HOME;", "x"}, "$HOME; x", ""},
      {{"sh", "-c", "echo correct horse; exit 3"}, nullptr, "failed with exit status 3"},
      {{"sh", "-c", "kill -9 $$"}, nullptr, "was ended by signal 9"},
      {{"true"}, nullptr, "printed no password on its first line"},
      {{"head", "-c", "5000", "/dev/zero"}, nullptr, "printed more than a password"},
      {{"varnox-no-such-program"}, nullptr, "cannot be run: No such file or directory"},
      // The command's input is empty, not the terminal.
      {{"cat"}, nullptr, "printed no password on its first line"},
  };
  for (const Case& c : cases) {
    ImapAccount account = Account();
    account.password_command = c.command;
    SecretText password;
    std::string error;
    const bool read = ReadAccountPassword(account, &password, &error);
    if (c.password != nullptr) {
      ASSERT_TRUE(read) << c.command[0] << ": " << error;
      EXPECT_STREQ(password.c_str(), c.password);
    } else {
      EXPECT_FALSE(read) << c.command.back();
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      EXPECT_EQ(error.find("horse"), std::string::npos) << "the password in: " << error;
      EXPECT_EQ(error.rfind("account work: password-command " + c.command[0], 0), 0u) << error;
    }
  }
}

TEST_F(PasswordSourceTest, StopsACommandThatDoesNotFinish) {
  ImapAccount account = Account();
  account.password_command = {"sleep", "600"};
  SecretText password;
  std::string error;
  PasswordSourceLimits limits;
  limits.command_time = std::chrono::milliseconds(200);
  EXPECT_FALSE(ReadAccountPassword(account, &password, &error, limits));
  EXPECT_NE(error.find("did not finish within"), std::string::npos) << error;
}

}  // namespace
}  // namespace varnox
