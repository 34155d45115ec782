#include "linux/imap/account_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace varnox {
namespace {

constexpr char kHome[] = "/home/ann";

TEST(AccountFileTest, ReadsAnAccountWithItsDefaults) {
  std::vector<ImapAccount> accounts;
  std::string error;
  ASSERT_TRUE(
      ParseAccountFile("\xEF\xBB\xBF# mine\r\n"
                       "[account work]\r\n"
                       "server = imap.example.org\n"
                       "  user=ann@example.org  \n"
                       "password-command = secret-tool lookup 'service name' imap\n"
                       "\n"
                       "[account home]\n"
                       "server = 127.0.0.1\n"
                       "security = plain\n"
                       "user = ann\n"
                       "password-file = ~/.config/varnox/home.pass\n"
                       "folder = INBOX\n"
                       "folder = Listes/Été\n"
                       "spam-folder = \\Junk\n"
                       "mark = keyword\n"
                       "poll-seconds = 30\n",
                       kHome, &accounts, &error))
      << error;
  ASSERT_EQ(accounts.size(), 2u);
  const ImapAccount& work = accounts[0];
  EXPECT_EQ(work.name, "work");
  EXPECT_EQ(work.line, 2);
  EXPECT_EQ(work.server, "imap.example.org");
  EXPECT_EQ(work.port, 993);
  EXPECT_EQ(work.security, ImapSecurity::kTls);
  EXPECT_EQ(work.user, "ann@example.org");
  EXPECT_EQ(work.password_command,
            (std::vector<std::string>{"secret-tool", "lookup", "service name", "imap"}));
  EXPECT_EQ(work.folders, std::vector<std::string>{"INBOX"});
  EXPECT_EQ(work.spam_folder, "SpamFilter");
  EXPECT_FALSE(work.spam_folder_junk);
  EXPECT_EQ(work.mark, ImapVerdictMark::kHeaders);
  EXPECT_EQ(work.poll_seconds, 60);

  const ImapAccount& home = accounts[1];
  EXPECT_EQ(home.port, 143);
  EXPECT_EQ(home.security, ImapSecurity::kPlain);
  EXPECT_EQ(home.password_file, "/home/ann/.config/varnox/home.pass");
  EXPECT_EQ(home.folders, (std::vector<std::string>{"INBOX", "Listes/Été"}));
  EXPECT_TRUE(home.spam_folder_junk);
  EXPECT_EQ(home.mark, ImapVerdictMark::kKeyword);
  EXPECT_EQ(home.poll_seconds, 30);
}

TEST(AccountFileTest, PortSecurityAndTrust) {
  struct Case {
    const char* lines;
    std::uint16_t port;
    ImapSecurity security;
    const char* fingerprint;
  };
  const std::string pinned(64, 'a');
  const Case cases[] = {
      {"security = starttls\n", 143, ImapSecurity::kStartTls, ""},
      {"security = tls\nport = 10993\n", 10993, ImapSecurity::kTls, ""},
      {"fingerprint = sha256:AA:aa:AA:aa:AA:aa:AA:aa:AA:aa:AA:aa:AA:aa:AA:aa:AA:aa:AA:aa:AA:aa:AA:"
       "aa:AA:aa:AA:aa:AA:aa:AA:aa\n",
       993, ImapSecurity::kTls, pinned.c_str()},
      {"fingerprint = aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n", 993,
       ImapSecurity::kTls, pinned.c_str()},
  };
  for (const Case& c : cases) {
    std::vector<ImapAccount> accounts;
    std::string error;
    ASSERT_TRUE(ParseAccountFile(std::string("[account a]\nserver = s\nuser = u\n"
                                             "password-file = /p\n") +
                                     c.lines,
                                 kHome, &accounts, &error))
        << c.lines << error;
    EXPECT_EQ(accounts[0].port, c.port) << c.lines;
    EXPECT_EQ(accounts[0].security, c.security) << c.lines;
    EXPECT_EQ(accounts[0].fingerprint, c.fingerprint) << c.lines;
  }
}

// A damaged file is refused whole, with the line at fault.
TEST(AccountFileTest, RefusesDamagedFilesNamingTheLine) {
  const std::string good = "[account a]\nserver = s\nuser = u\npassword-file = /p\n";
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"server = s\n", "line 1: a setting before the first [account NAME]"},
      {"[acount a]\n", "line 1: a section must be written [account NAME]"},
      {"[account a b]\n", "line 1: an account's name is"},
      {"[account ]\n", "line 1: an account's name is"},
      {good + "[account a]\n", "line 5: account a is already defined on line 1"},
      {good + "port = 99999\n", "line 5: port must be a number from 1 to 65535"},
      {good + "port = 0\n", "line 5: port must be"},
      {good + "port = 12x\n", "line 5: port must be"},
      {good + "security = ssl\n", "line 5: security must be tls, starttls or plain"},
      {good + "server = t\n", "line 5: server is already given on line 2"},
      {good + "Server = t\n", "line 5: unknown setting Server"},
      {good + "colour = red\n", "line 5: unknown setting colour"},
      {good + "just words\n", "line 5: expected NAME = VALUE"},
      {good + "mark =\n", "line 5: mark has no value"},
      {good + "mark = stamp\n", "line 5: mark must be headers or keyword"},
      {good + "poll-seconds = 5\n", "line 5: poll-seconds must be a number from 10 to 3600"},
      {good + "ca-file = certs/ca.pem\n", "line 5: ca-file must be an absolute path"},
      {good + "fingerprint = sha1:ab\n", "line 5: fingerprint must be"},
      {good + "fingerprint = " + std::string(63, 'a') + "\n", "line 5: fingerprint must be"},
      {good + "fingerprint = " + std::string(62, 'a') + "::aa\n", "line 5: fingerprint must be"},
      {good + "folder = X\nfolder = X\n", "line 6: folder X is named twice"},
      {good + "folder = SpamFilter\n", "line 1: account a watches its spam folder SpamFilter"},
      {"[account a]\nserver = s\npassword-command = \"pass\n",
       "line 3: password-command: a quote \" is not closed"},
      {"[account a]\nserver = s\npassword-command = pass \\\n",
       "line 3: password-command: it ends with a backslash"},
      {"[account a]\nserver = my host\n", "line 2: server must be a host name or address"},
      {"[account a]\nuser = u\npassword-file = /p\n", "line 1: account a names no server"},
      {"[account a]\nserver = s\npassword-file = /p\n", "line 1: account a names no user"},
      {"[account a]\nserver = s\nuser = u\n",
       "line 1: account a names neither password-command nor password-file"},
      {good + "password-command = pass\n",
       "line 1: account a names both password-command and password-file"},
      {good + "ca-file = /ca\nfingerprint = " + std::string(64, 'b') + "\n",
       "line 1: account a names both ca-file and fingerprint"},
      {good + "security = plain\nca-file = /ca\n", "line 1: account a has security = plain"},
      {good + std::string("user = a\0b\n", 11), "line 5: holds a control character"},
      {std::string("[account a]\nserver = s\0\n", 24), "line 2: holds a control character"},
      {good + "folder = \xC3\x28\n", "line 5: is not UTF-8 text"},
  };
  for (const Case& c : cases) {
    std::vector<ImapAccount> accounts = {ImapAccount{}};
    std::string error;
    EXPECT_FALSE(ParseAccountFile(c.text, kHome, &accounts, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << "\n  said: " << error;
    EXPECT_EQ(accounts.size(), 1u) << "untouched on failure";
  }
}

TEST(AccountFileTest, SplitsCommandWordsWithoutAShell) {
  struct Case {
    const char* text;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"pass show mail/work", {"pass", "show", "mail/work"}},
      {"  a\t b  ", {"a", "b"}},
      {"a'b c'd", {"ab cd"}},
      {"'$HOME' \"$(rm -rf /)\" `x` ~ *", {"$HOME", "$(rm -rf /)", "`x`", "~", "*"}},
      {"\"a \\\"q\\\" \\\\ \\n\"", {"a \"q\" \\ \\n"}},
      {"a\\ b \\'", {"a b", "'"}},
      {"''", {""}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words;
    std::string error;
    ASSERT_TRUE(SplitCommandWords(c.text, &words, &error)) << c.text << error;
    EXPECT_EQ(words, c.words) << c.text;
  }
  for (const char* bad : {"", "   ", "'open", "\"open", "end\\"}) {
    std::vector<std::string> words;
    std::string error;
    EXPECT_FALSE(SplitCommandWords(bad, &words, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

TEST(AccountFileTest, ReadsTheFileAndRefusesWhatIsNotOne) {
  char pattern[] = "/tmp/varnox-accounts-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string path = AccountFilePath(dir);
  EXPECT_EQ(path, dir + "/accounts.ini");
  std::vector<ImapAccount> accounts;
  std::string error;
  EXPECT_EQ(ReadAccountFile(path, kHome, &accounts, &error), AccountFileRead::kMissing);

  std::ofstream(path) << "[account a]\nserver = s\nuser = u\npassword-file = /p\n";
  ASSERT_EQ(ReadAccountFile(path, kHome, &accounts, &error), AccountFileRead::kRead) << error;
  EXPECT_EQ(accounts.size(), 1u);

  std::ofstream(path, std::ios::app) << "oops\n";
  EXPECT_EQ(ReadAccountFile(path, kHome, &accounts, &error), AccountFileRead::kRefused);
  EXPECT_EQ(error, path + " line 5: expected NAME = VALUE, a [account NAME] header or a # comment");

  std::ofstream(path) << std::string(kMaxAccountFileBytes + 1, '#');
  EXPECT_EQ(ReadAccountFile(path, kHome, &accounts, &error), AccountFileRead::kRefused);
  EXPECT_NE(error.find("larger than 1 MiB"), std::string::npos) << error;

  ::unlink(path.c_str());
  ::mkdir(path.c_str(), 0700);
  EXPECT_EQ(ReadAccountFile(path, kHome, &accounts, &error), AccountFileRead::kRefused);
  EXPECT_EQ(error, path + " is not a file");
  ::rmdir(path.c_str());
  ::rmdir(dir.c_str());
}

}  // namespace
}  // namespace varnox
