// Hostile input cannot make the system write a line break of the sender's
// choosing into a header, write outside the store's folders, or create files
// that other users can read.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>

#include "addin/vnx_addin.h"
#include "engine/bayesian_filter.h"
#include "host/message.h"
#include "linux/maildir/maildir_host.h"
#include "mail/process_new_item.h"
#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"
#include "tests/maildir/temp_maildir.h"

namespace varnox {
namespace {

namespace fs = std::filesystem;
using testing::TempMaildir;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Runs the new-mail pipeline on every message of the store's Inbox.
void JudgeInbox(maildir::MaildirHost& host, CVNXAddin& addin) {
  auto folder = testing::TopFolder(host, "Inbox");
  std::unique_ptr<host::Items> items;
  ASSERT_EQ(folder->GetItems(&items), kSOk);
  std::unique_ptr<host::Item> item;
  ASSERT_EQ(items->GetFirst(&item), kSOk);
  for (; item != nullptr; items->GetNext(&item))
    ProcessNewItem(addin, *item);
}

// --- Line breaks in what we write ----------------------------------------------

// Every byte value, between letters and on its own, and a long run of random
// bytes: no word holds a CR or LF, so neither can the stamp's top words.
TEST(Security, TokenizerCannotProduceALineBreak) {
  testing::FakePlatform fakes;
  BayesianFilter filter(fakes);
  std::string text;
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    text += std::string("ab") + c + "cd " + c + c + c + " 12" + c + "34 $" + c + "xy! ";
  }
  std::mt19937 random(7);
  for (int i = 0; i < 200000; ++i)
    text.push_back(static_cast<char>(random() & 0xFF));

  WordTable words;
  ASSERT_GT(filter.core().Tokenize(text, words), 1000u);
  for (const auto item : words)
    ASSERT_EQ(item.word.find_first_of("\r\n"), std::string_view::npos) << item.word;

  // The same text judged: its verdict line of top words is one line.
  for (int i = 0; i < 3; ++i)
    filter.Learn(text.substr(static_cast<std::size_t>(i) * 60000, 60000), "s", i % 2);
  MessageInfo info;
  info.subject = "subject";
  std::string ascii = text;
  for (char& c : ascii)
    c = static_cast<char>(c & 0x7F);  // below 0x80, so the filter scores it
  filter.Classify(ascii, info);
  ASSERT_FALSE(info.topWords.empty());
  EXPECT_EQ(info.topWords.find_first_of("\r\n"), info.topWords.size() - 2) << info.topWords;
}

// A From line crafted with a lone CR or LF inside the address, delivered to a
// real Maildir whose sender's domain is black-listed: the message file gains
// our lines only, none of the sender's. (The Maildir reader already ends a
// header line at a lone CR or LF; ExtractSenderAddress refuses such an
// address for hosts that hand the raw headers over, see
// tests/mail/sender_address_test.cc.)
TEST(Security, CraftedFromCannotAddAHeaderLineToTheMessageFile) {
  testing::FakePlatform fakes;
  fakes.registry.CreateKey();
  fakes.registry.SetString(setting::kBlackListPath, "black.xml");
  fakes.files.files["black.xml"] = "<List><Domain Name=\"@black.example\"/></List>";
  TempMaildir store;
  store.AddFolder(".SpamFilter");
  maildir::MaildirHost host;
  ASSERT_EQ(host.AddStore(store.root()), kSOk);
  CVNXAddin addin(fakes);
  addin.spamFolder = testing::TopFolder(host, "SpamFilter");

  const std::string crafted[] = {
      "Received: by x\nFrom: <a\rX-Injected: 1@black.example>\nSubject: s\n\nbody words here\n",
      "Received: by x\r\nFrom: <a\nX-Injected: 1@black.example>\r\nSubject: s\r\n\r\nbody\r\n",
      "Received: by x\r\nFrom: x> <b@black.example\rX-Injected: 1\r\nSubject: s\r\n\r\nbody\r\n",
  };
  for (std::size_t n = 0; n < std::size(crafted); ++n)
    TempMaildir::Deliver(store.root(), "1700000000.crafted" + std::to_string(n), crafted[n]);
  JudgeInbox(host, addin);

  std::size_t checked = 0;
  for (const std::string& dir : {store.root() + "/new", store.root() + "/.SpamFilter/new",
                                 store.root() + "/.SpamFilter/cur"}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      const std::size_t n =
          static_cast<std::size_t>(name[std::string("1700000000.crafted").size()] - '0');
      ASSERT_LT(n, std::size(crafted)) << name;
      const std::string& original = crafted[n];
      const std::string bytes = ReadFile(entry.path());
      // The file is the original with our lines inserted before its empty
      // line; those lines hold nothing of the sender's making.
      const std::size_t blank =
          original.find(original.find("\r\n") != std::string::npos ? "\r\n\r\n" : "\n\n");
      ASSERT_NE(blank, std::string::npos);
      const std::size_t head = original.find('\n', blank) + 1;
      const std::size_t tail = original.size() - head;
      ASSERT_GT(bytes.size(), original.size()) << "stamped";
      ASSERT_EQ(bytes.compare(0, head, original, 0, head), 0) << bytes;
      ASSERT_EQ(bytes.compare(bytes.size() - tail, tail, original, head, tail), 0) << bytes;
      const std::string added = bytes.substr(head, bytes.size() - head - tail);
      EXPECT_EQ(added.find("Injected"), std::string::npos) << added;
      ++checked;
    }
  }
  EXPECT_EQ(checked, std::size(crafted));
}

// --- Writing only inside the store --------------------------------------------

// Every file under `root` with its bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (!entry.is_directory())
      files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path());
  return files;
}

// Messages whose every field names a path or a command, judged on a real
// Maildir: the only changes are in the store's message files (stamped, or
// moved to the spam folder), and no file appears anywhere else.
TEST(Security, HostileMessagesWriteOnlyTheirOwnFilesInTheStore) {
  const fs::path root =
      fs::temp_directory_path() / ("varnox-outside-" + std::to_string(::getpid()));
  fs::create_directories(root / "elsewhere");
  std::ofstream(root / "elsewhere" / "canary") << "untouched\n";
  {
    testing::FakePlatform fakes;
    TempMaildir store;
    store.AddFolder(".SpamFilter");
    maildir::MaildirHost host;
    ASSERT_EQ(host.AddStore(store.root()), kSOk);
    CVNXAddin addin(fakes);
    addin.spamFolder = testing::TopFolder(host, "SpamFilter");
    const std::string outside = (root / "elsewhere").string();
    const std::string fields[] = {"../../elsewhere/canary",
                                  outside + "/x",
                                  "$(touch " + outside + "/ran)",
                                  "`touch " + outside + "/ran`",
                                  "|touch " + outside + "/ran",
                                  "/dev/null",
                                  "..",
                                  "cur/../../x"};
    int n = 0;
    for (const std::string& field : fields) {
      const std::string message = "Received: by x\nFrom: <" + field + ">\nSubject: " + field +
                                  "\nContent-Type: text/plain; name=\"" + field + "\"\n" +
                                  "Content-Disposition: attachment; filename=\"" + field +
                                  "\"\n\n" + field + " \xE9\xE9\xE9 " + field + "\n";
      TempMaildir::Deliver(store.root(), "1700000000.hostile" + std::to_string(n++), message);
    }
    const auto before = Tree(store.root());
    JudgeInbox(host, addin);

    const auto after = Tree(store.root());
    EXPECT_EQ(after.size(), before.size()) << "as many files as messages, no more";
    for (const auto& [path, bytes] : after)
      EXPECT_TRUE(path.rfind("new/", 0) == 0 || path.rfind(".SpamFilter/cur/", 0) == 0 ||
                  path == ".SpamFilter/maildirfolder")
          << path;
    EXPECT_EQ(TempMaildir::Names(store.root() + "/.SpamFilter", "cur").size() +
                  TempMaildir::Names(store.root(), "new").size(),
              std::size(fields));
  }
  EXPECT_EQ(Tree(root.string()),
            (std::map<std::string, std::string>{{"elsewhere/canary", "untouched\n"}}));
  fs::remove_all(root);
}

// --- Modes of what we create ------------------------------------------------------

// `varnox init` under the most permissive umask, then the word database and
// the ignore file as the engine makes and saves them, a Maildir folder as
// the host makes it and a message file as it rewrites it: data 0600,
// folders 0700, whatever the umask.
TEST(Security, EverythingWeCreateIsForTheUserOnly) {
  const fs::path home = fs::temp_directory_path() / ("varnox-modes-" + std::to_string(::getpid()));
  fs::remove_all(home);
  fs::create_directories(home);
  const std::string config = (home / "config").string();
  const std::string data = (home / "data").string();
  const mode_t old_umask = ::umask(0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    ::execl(VARNOX_PROGRAM, "varnox", "init", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  std::map<std::string, unsigned> modes;
  for (const auto& entry : fs::recursive_directory_iterator(home))
    modes[fs::relative(entry.path(), home).string()] = ModeOf(entry.path());
  // The folders above ours are the user's own (XDG_*_HOME): not ours to set.
  modes.erase("config");
  modes.erase("data");
  ASSERT_FALSE(modes.empty());

  // The engine: the database made at first start, the ignore file saved.
  {
    testing::FakePlatform fakes;
    fakes.registry.CreateKey();
    fakes.registry.SetString(setting::kWordFilePath, data + "/varnox/words.db");
    fakes.registry.SetString(setting::kIgnoreFilePath, data + "/varnox/new-ignore.txt");
    Platform real{fakes.registry, fakes.clock,   RealFileSystem(), fakes.ui,
                  fakes.faces,    fakes.dialogs, fakes.xml};
    BayesianFilter filter(real);
    filter.Initialize();
    filter.Learn("some words to keep", "subject", 1);
  }
  modes["data/varnox/words.db"] = ModeOf(data + "/varnox/words.db");
  modes["data/varnox/new-ignore.txt"] = ModeOf(data + "/varnox/new-ignore.txt");

  // The Maildir host: a folder it makes, a message it rewrites.
  {
    const std::string store = (home / "Mail").string();
    for (const char* sub : {"", "/cur", "/new", "/tmp"})
      fs::create_directories(store + sub);
    TempMaildir::Deliver(store, "1700000000.m", "Received: by x\nSubject: s\n\nbody\n");
    ::chmod((store + "/new/1700000000.m").c_str(), 0644);  // as a delivery agent leaves it
    maildir::MaildirHost host;
    ASSERT_EQ(host.AddStore(store), kSOk);
    std::unique_ptr<host::Folders> top = testing::TopFolders(host);
    std::unique_ptr<host::Folder> made;
    ASSERT_EQ(top->Add("SpamFilter", host::kOlFolderInbox, &made), kSOk);
    auto inbox = testing::TopFolder(host, "Inbox");
    std::unique_ptr<host::Items> items;
    std::unique_ptr<host::Item> item;
    std::unique_ptr<host::MailItem> mail;
    std::unique_ptr<host::Message> message;
    std::string headers;
    ASSERT_EQ(inbox->GetItems(&items), kSOk);
    ASSERT_EQ(items->GetFirst(&item), kSOk);
    ASSERT_EQ(item->QueryMailItem(&mail), kSOk);
    ASSERT_EQ(mail->MapiMessage(&message), kSOk);
    ASSERT_EQ(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers), kSOk);
    ASSERT_EQ(message->SetStringProperty(host::kPrTransportMessageHeaders, headers + "X-A:1\r\n"),
              kSOk);
    ASSERT_EQ(message->SaveChanges(0), kSOk);
    for (const char* path : {".SpamFilter", ".SpamFilter/cur", ".SpamFilter/new", ".SpamFilter/tmp",
                             ".SpamFilter/maildirfolder", "new/1700000000.m"})
      modes[std::string("Mail/") + path] = ModeOf(store + "/" + path);
  }
  ::umask(old_umask);

  for (const auto& [path, mode] : modes) {
    const bool folder = fs::is_directory(home / path);
    EXPECT_EQ(mode, folder ? 0700u : 0600u) << path << " has mode " << std::oct << mode;
  }
  fs::remove_all(home);
}

}  // namespace
}  // namespace varnox
