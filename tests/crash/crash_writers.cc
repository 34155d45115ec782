#include "tests/crash/crash_writers.h"

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <set>

#include "engine/bayesian_core.h"
#include "host/item.h"
#include "host/message.h"
#include "linux/maildir/maildir_folder.h"
#include "linux/maildir/maildir_objects.h"
#include "linux/platform/settings_file.h"
#include "linux/platform/settings_file_registry.h"
#include "lists/sender_list.h"
#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"

namespace varnox::crash {
namespace {

// The platform of the database and list writers: the real file system, the
// paths in a registry of our own, a clock that stands still (no aging), and
// a user interface that keeps what it was asked to show.
struct RealFilesPlatform {
  explicit RealFilesPlatform(const std::string& dir) {
    registry.CreateKey();
    registry.SetString(setting::kWordFilePath, dir + "/words.db");
    registry.SetString(setting::kBlackListPath, dir + "/black.xml");
  }
  testing::FakeRegistry registry;
  ManualClock clock;
  testing::FakeUserInterface ui;
  NoButtonFaces faces;
  testing::ScriptedDialogRunner dialogs;
  Platform platform{registry, clock, RealFileSystem(), ui, faces, dialogs, SystemXmlParser()};
};

std::string LastShown(const testing::FakeUserInterface& ui) {
  return ui.messages.empty() ? "" : ui.messages.back().caption + ": " + ui.messages.back().text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d))
      if (std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..")
        names.emplace_back(e->d_name);
    closedir(d);
  }
  return names;
}

bool HasNamed(const std::string& dir, std::string_view marker) {
  for (const std::string& name : Names(dir))
    if (name.find(marker) != std::string::npos)
      return true;
  return false;
}

// Removes the files of `dir` whose name holds `marker`; how many there were.
int RemoveNamed(const std::string& dir, std::string_view marker) {
  int removed = 0;
  for (const std::string& name : Names(dir)) {
    if (name.find(marker) != std::string::npos && ::unlink((dir + "/" + name).c_str()) == 0)
      ++removed;
  }
  return removed;
}

// --- The word database ------------------------------------------------------

class DatabaseWriter final : public Writer {
 public:
  DatabaseWriter(const std::string& dir, int words)
      : dir_(dir), path_(dir + "/words.db"), fakes_(dir), platform_(fakes_.platform) {
    // Two tables of the same words with other counts: each save rewrites the
    // whole file with other bytes.
    for (int side = 0; side < 2; ++side) {
      versions_[side] = std::make_unique<BayesianCore>(platform_);
      BayesianCore& core = *versions_[side];
      core.set_databasePath(path_);
      core.set_lastAgingTime(platform_.clock.Now());
      core.set_messageCounts(100 + side, 200 + side);
      WordTable& table = core.mutable_words();
      table.reserve(static_cast<std::size_t>(words));
      for (int i = 0; i < words; ++i) {
        const std::string word = "w" + std::to_string(i * 7919 % 1000003) + "x";
        table.Insert(word, WordEntry{i % 50 + 1 + side, i % 30 + side, 0.25f + 0.5f * side,
                                     platform_.clock.Now()});
      }
      core.SaveDatabase();
      bytes_[side] = ReadFile(path_);
    }
    word_counts_ = {versions_[0]->wordCount(), versions_[1]->wordCount()};
    next_ = 0;  // the file holds version 1; the next write is version 0
  }

  const char* name() const override { return "word database"; }
  std::string folder() const override { return dir_; }

  bool WriteOnce() override {
    BayesianCore& core = *versions_[next_];
    next_ = 1 - next_;
    // A failed save keeps `saved` as it was; the message tells.
    const std::size_t shown = fakes_.ui.messages.size();
    core.SaveDatabase();
    return fakes_.ui.messages.size() == shown;
  }

  std::string Check() override {
    const std::string now = ReadFile(path_);
    if (now != bytes_[0] && now != bytes_[1])
      return "the database is neither the old nor the new file (" + std::to_string(now.size()) +
             " bytes)";
    BayesianCore loaded(platform_);
    loaded.set_imageUse(WordStore::ImageUse::kNone);
    loaded.set_databasePath(path_);
    if (loaded.LoadDatabase() != 1 || loaded.saved() != 1)
      return "the database does not load cleanly";
    if (word_counts_.count(loaded.wordCount()) == 0)
      return "the database loads with " + std::to_string(loaded.wordCount()) + " words";
    return CheckImage(loaded);
  }

  // The image, when one is used, holds what the file holds: each word, the
  // counts, nothing more.
  std::string CheckImage(const BayesianCore& text) {
    BayesianCore image(platform_);
    image.set_databasePath(path_);
    if (image.LoadDatabase() != 1)
      return "the database does not load from its image";
    if (!image.store().fromImage())
      return "";  // the image does not match the file (cut short, or older): not used
    ++images_used_;
    if (image.wordCount() != text.wordCount() || image.spamMessages() != text.spamMessages() ||
        image.cleanMessages() != text.cleanMessages())
      return "the image holds other counts than the file";
    for (const auto [word, entry] : text.words()) {
      const WordEntry* found = image.store().Find(WordKey(word));
      if (found == nullptr || !(*found == entry))
        return "the image holds another entry for " + std::string(word);
    }
    return "";
  }

  // A killed save leaves the copy of the file or of its image.
  int RemoveLeftovers() override {
    return RemoveNamed(dir_, "words.db.tmp.") + RemoveNamed(dir_, "words.db.image.tmp.");
  }
  bool Writing() const override {
    return HasNamed(dir_, "words.db.tmp.") || HasNamed(dir_, "words.db.image.tmp.");
  }
  std::string Summary() const override {
    return std::to_string(images_used_) + " checks found the image matching and used it";
  }
  std::string LastMessage() const override { return LastShown(fakes_.ui); }

 private:
  std::string dir_;
  std::string path_;
  RealFilesPlatform fakes_;
  const Platform& platform_;
  std::unique_ptr<BayesianCore> versions_[2];
  std::string bytes_[2];
  std::set<std::size_t> word_counts_;
  int next_ = 0;
  int images_used_ = 0;
};

// --- A sender list file -------------------------------------------------------

constexpr char kAddedEntry[] = "crash@test.example";

class ListWriter final : public Writer {
 public:
  ListWriter(const std::string& dir, int entries)
      : dir_(dir), path_(dir + "/black.xml"), fakes_(dir), list_(ListKind::Black, fakes_.platform) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"windows-1252\" ?>\n<BlackList>\n";
    for (int i = 0; i < entries; ++i)
      xml += "  <MailID Name=\"sender" + std::to_string(i) + "@list.example\" />\n";
    xml += "  <Domain Name=\"@bulk.example\" />\n</BlackList>\n";
    std::ofstream(path_, std::ios::binary) << xml;
    list_.Load();
    // The file as the system prints it, without and with the added entry.
    list_.AddAddress(kAddedEntry);
    with_ = ReadFile(path_);
    list_.RemoveAddress(kAddedEntry);
    without_ = ReadFile(path_);
    entries_ = entries;
  }

  const char* name() const override { return "sender list"; }
  std::string folder() const override { return dir_; }

  // Adds the entry when the file lacks it, else removes it: a child starts
  // from whatever file the child before it left.
  bool WriteOnce() override {
    return list_.FileHasAddress(kAddedEntry) ? list_.RemoveAddress(kAddedEntry)
                                             : list_.AddAddress(kAddedEntry);
  }

  std::string Check() override {
    const std::string now = ReadFile(path_);
    if (now != with_ && now != without_)
      return "the list file is neither the old nor the new file (" + std::to_string(now.size()) +
             " bytes)";
    SenderList loaded(ListKind::Black, fakes_.platform);
    if (!loaded.Load())
      return "the list file does not load";
    const std::size_t expected = static_cast<std::size_t>(entries_) + (now == with_ ? 1 : 0);
    if (loaded.addresses().size() != expected || loaded.domains().size() != 1)
      return "the list loads with " + std::to_string(loaded.addresses().size()) + " addresses";
    return "";
  }

  int RemoveLeftovers() override { return RemoveNamed(dir_, "black.xml.tmp."); }
  bool Writing() const override { return HasNamed(dir_, "black.xml.tmp."); }

 private:
  std::string dir_;
  std::string path_;
  RealFilesPlatform fakes_;
  SenderList list_;
  std::string with_, without_;
  int entries_ = 0;
};

// --- The settings file --------------------------------------------------------

class SettingsWriter final : public Writer {
 public:
  SettingsWriter(const std::string& dir, int padding_lines)
      : dir_(dir), path_(dir + "/settings.ini"), registry_(RealFileSystem(), path_) {
    std::string text = SettingsFile::Empty().Text();
    // Comments that a person may have written: they make the file long
    // enough for a kill to land inside its rewrite, and must survive it.
    for (int i = 0; i < padding_lines; ++i)
      text += "; note " + std::to_string(i) + " kept by every rewrite of the file\n";
    text += "\"BeepAtSpam\"=dword:00000001\n";
    std::ofstream(path_, std::ios::binary) << text;
    for (int side = 0; side < 2; ++side) {
      Set(side);
      bytes_[side] = ReadFile(path_);
    }
  }

  const char* name() const override { return "settings file"; }
  std::string folder() const override { return dir_; }

  bool WriteOnce() override {
    next_ = 1 - next_;
    return Set(next_);
  }

  std::string Check() override {
    const std::string now = ReadFile(path_);
    const int side = now == bytes_[0] ? 0 : now == bytes_[1] ? 1 : -1;
    if (side < 0)
      return "the settings file is neither the old nor the new file (" +
             std::to_string(now.size()) + " bytes)";
    SettingsFileRegistry registry(RealFileSystem(), path_);
    SettingsStore store(registry);
    std::string path;
    if (!store.ReadStringSetting(setting::kWordFilePath, &path) || path != Value(side) ||
        store.BeepAtSpam() != 1)
      return "the settings file does not read back its values";
    return "";
  }

  int RemoveLeftovers() override { return RemoveNamed(dir_, "settings.ini.tmp."); }
  bool Writing() const override { return HasNamed(dir_, "settings.ini.tmp."); }

 private:
  static std::string Value(int side) { return side == 0 ? "/data/words-a.db" : "/data/words-b.db"; }

  bool Set(int side) {
    std::unique_ptr<RegistryKey> key;
    if (registry_.OpenCurrentUserKey(SettingsFile::kKeyPath, &key) != kErrorSuccess)
      return false;
    const std::string value = Value(side);
    return key->SetValue(setting::kWordFilePath, RegistryType::kString, value.c_str(),
                         static_cast<std::uint32_t>(value.size() + 1)) == kErrorSuccess;
  }

  std::string dir_;
  std::string path_;
  SettingsFileRegistry registry_;
  std::string bytes_[2];
  int next_ = 1;
};

// --- Message files (the Maildir host's header rewrite) -------------------------

// What each rewrite appends: the verdict lines, in the file's own line ends.
constexpr char kStamp[] = "X-VNX-RESULT:NotSpam\r\nX-VNX-SCORE:3\r\nX-VNX-TOP-WORDS:\r\n";
constexpr char kStampInFile[] = "X-VNX-RESULT:NotSpam\nX-VNX-SCORE:3\nX-VNX-TOP-WORDS:\n";

class MessageWriter final : public Writer {
 public:
  MessageWriter(const std::string& dir, int messages, int body_bytes) : dir_(dir) {
    for (const char* sub : {"/cur", "/new", "/tmp"})
      ::mkdir((dir_ + sub).c_str(), 0700);
    body_.reserve(static_cast<std::size_t>(body_bytes));
    while (body_.size() < static_cast<std::size_t>(body_bytes))
      body_ += "A line of the body that must come through every rewrite whole.\n";
    for (int i = 0; i < messages; ++i) {
      const std::string unique = "1700000000.M" + std::to_string(i) + ".crash";
      const std::string head = "Received: by crash.test\nFrom: Sam <sam" + std::to_string(i) +
                               "@example.com>\nSubject: message " + std::to_string(i) + "\n";
      std::ofstream(dir_ + "/new/" + unique, std::ios::binary) << head << "\n" << body_;
      names_.push_back(unique);
      heads_.push_back(head);
    }
  }

  const char* name() const override { return "message headers"; }
  std::string folder() const override { return dir_; }

  bool WriteOnce() override {
    const std::string& unique = names_[next_];
    next_ = (next_ + 1) % names_.size();
    auto where = std::make_shared<maildir::ItemLocation>(
        maildir::ItemLocation{dir_, maildir::MessageEntry{"new", unique}});
    std::unique_ptr<host::MailItem> mail;
    std::unique_ptr<host::Message> message;
    std::string headers;
    if (Failed(maildir::MakeItem(where)->QueryMailItem(&mail)) ||
        Failed(mail->MapiMessage(&message)) ||
        Failed(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers)))
      return false;
    return Succeeded(
               message->SetStringProperty(host::kPrTransportMessageHeaders, headers + kStamp)) &&
           Succeeded(message->SaveChanges(0));
  }

  // Every message is there once, under its own name, holding its header
  // lines, some whole stamps, and its body: never lost, doubled or torn.
  std::string Check() override {
    std::vector<std::string> present = Names(dir_ + "/new");
    for (const std::string& name : Names(dir_ + "/cur"))
      present.push_back(name);
    std::multiset<std::string> seen(present.begin(), present.end());
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (seen.count(names_[i]) != 1)
        return "message " + names_[i] + " is there " + std::to_string(seen.count(names_[i])) +
               " times";
      const std::string bytes = ReadFile(dir_ + "/new/" + names_[i]);
      const std::string tail = "\n" + body_;
      if (bytes.size() < heads_[i].size() + tail.size() ||
          bytes.compare(0, heads_[i].size(), heads_[i]) != 0 ||
          bytes.compare(bytes.size() - tail.size(), tail.size(), tail) != 0)
        return "message " + names_[i] + " is torn";
      std::string_view stamps(bytes);
      stamps = stamps.substr(heads_[i].size(), bytes.size() - heads_[i].size() - tail.size());
      const std::string_view stamp(kStampInFile);
      while (!stamps.empty() && stamps.substr(0, stamp.size()) == stamp)
        stamps.remove_prefix(stamp.size());
      if (!stamps.empty())
        return "message " + names_[i] + " holds a torn stamp";
    }
    if (present.size() != names_.size())
      return std::to_string(present.size()) + " message files for " +
             std::to_string(names_.size()) + " messages";
    return "";
  }

  // A rewrite cut short leaves its new copy (before the exchange) or the old
  // one (after it) in tmp/, where no mail program takes it for a message.
  int RemoveLeftovers() override { return RemoveNamed(dir_ + "/tmp", ""); }
  bool Writing() const override { return HasNamed(dir_ + "/tmp", ""); }

 private:
  std::string dir_;
  std::string body_;
  std::vector<std::string> names_;
  std::vector<std::string> heads_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<Writer> MakeDatabaseWriter(const std::string& dir, int words) {
  return std::make_unique<DatabaseWriter>(dir, words);
}

std::unique_ptr<Writer> MakeListWriter(const std::string& dir, int entries) {
  return std::make_unique<ListWriter>(dir, entries);
}

std::unique_ptr<Writer> MakeSettingsWriter(const std::string& dir, int padding_lines) {
  return std::make_unique<SettingsWriter>(dir, padding_lines);
}

std::unique_ptr<Writer> MakeMessageWriter(const std::string& dir, int messages, int body_bytes) {
  return std::make_unique<MessageWriter>(dir, messages, body_bytes);
}

}  // namespace varnox::crash
