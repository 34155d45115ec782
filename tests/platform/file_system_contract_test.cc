// What every real file system must do alike (file_system_contract.h says how
// a test program runs it against its implementation): the user's files are
// read, replaced and cleaned up the same on every host because of these.
#include "tests/platform/file_system_contract.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <set>
#include <span>
#include <string>

namespace varnox::testing {
namespace {

using Names = std::set<std::string>;

TEST_P(FileSystemContract, ReplacesAndReadsBackEveryByte) {
  FileSystem& files = under_test->files();
  const std::string path = under_test->Path("words.db");
  // No text-mode translation: CR LF, NUL, ^Z and bytes above 0x7F stay.
  const std::string binary("a\0b\xA5\r\n\n\x1A z", 10);
  ASSERT_TRUE(files.ReplaceWholeFile(path, binary));
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, binary);
  ASSERT_TRUE(files.ReplaceWholeFile(path, "new"));
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, "new");
  EXPECT_TRUE(files.Exists(path));
  EXPECT_EQ(under_test->Names(), Names{"words.db"}) << "nothing is left beside the file";
}

TEST_P(FileSystemContract, LargeAndEmptyFiles) {
  FileSystem& files = under_test->files();
  const std::string path = under_test->Path("big");
  // Longer than any one read or write buffer, and not a multiple of one.
  std::string big(3 * 65536 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(files.ReplaceWholeFile(path, big));
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, big);
  ASSERT_TRUE(files.ReplaceWholeFile(path, ""));
  read = "stale";
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_TRUE(read.empty());
}

TEST_P(FileSystemContract, ARefusedReplacementKeepsTheOldFile) {
  FileSystem& files = under_test->files();
  const std::string path = under_test->Path("settings");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "old"));
  if (!under_test->Refuse("settings"))
    GTEST_SKIP() << "this host cannot be made to refuse here";
  const bool replaced = files.ReplaceWholeFile(path, "new");
  under_test->Allow();
  EXPECT_FALSE(replaced);
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(path, &read));
  EXPECT_EQ(read, "old");
  EXPECT_EQ(under_test->Names(), Names{"settings"}) << "the file written beside is removed";
}

TEST_P(FileSystemContract, AFolderInTheWayFailsAndLeavesNothingBeside) {
  FileSystem& files = under_test->files();
  under_test->MakeFolder("words.db");
  EXPECT_FALSE(files.ReplaceWholeFile(under_test->Path("words.db"), "new"));
  EXPECT_TRUE(files.Exists(under_test->Path("words.db")));
  EXPECT_EQ(under_test->Names(), Names{"words.db"}) << "the file written beside is removed";
  std::string read = "stale";
  EXPECT_FALSE(files.ReadWholeFile(under_test->Path("words.db"), &read)) << "still a folder";
  EXPECT_TRUE(read.empty());
}

TEST_P(FileSystemContract, AMissingFolderFails) {
  FileSystem& files = under_test->files();
  EXPECT_FALSE(files.ReplaceWholeFile(under_test->Path("no/such/file"), "x"));
  EXPECT_FALSE(files.ReplaceWholeFile("", "x"));
  EXPECT_EQ(under_test->Names(), Names{});
}

TEST_P(FileSystemContract, UnreadableThingsReadAsMissing) {
  FileSystem& files = under_test->files();
  std::string read = "stale";
  EXPECT_FALSE(files.ReadWholeFile(under_test->Path("absent"), &read));
  EXPECT_TRUE(read.empty());
  read = "stale";
  EXPECT_FALSE(files.ReadWholeFile(under_test->Folder(), &read)) << "a folder is not a file";
  EXPECT_TRUE(read.empty());
  EXPECT_FALSE(files.Exists(under_test->Path("absent")));
}

// The system's text is code page 1252 on every host: a name written through
// the seam is the name other programs see, and the other way round.
TEST_P(FileSystemContract, NamesInCodePage1252) {
  FileSystem& files = under_test->files();
  const std::string written =
      "Bo\xEEte de r\xE9"
      "ception.xml";
  ASSERT_TRUE(files.ReplaceWholeFile(under_test->Path(written), "<List/>"));
  const std::string other = "\xC9t\xE9 \xA3\xFF.db";
  under_test->WriteRaw(other, "raw", 0);
  EXPECT_EQ(under_test->Names(), (Names{written, other}));
  std::string read;
  ASSERT_TRUE(files.ReadWholeFile(under_test->Path(other), &read));
  EXPECT_EQ(read, "raw");
  ASSERT_TRUE(files.ReadWholeFile(under_test->Path(written), &read));
  EXPECT_EQ(read, "<List/>");

  // A killed save of the accented file is found beside it and removed.
  under_test->WriteRaw(other + ".tmp." + std::to_string(under_test->EndedProcess()), "part", 3600);
  EXPECT_EQ(files.RemoveAbandonedCopies(under_test->Path(other)), 1);
  EXPECT_EQ(under_test->Names(), (Names{written, other}));
}

TEST_P(FileSystemContract, RemovesOnlyTheCopiesWhoseWriterIsGone) {
  FileSystem& files = under_test->files();
  const std::string path = under_test->Path("words.db");
  ASSERT_TRUE(files.ReplaceWholeFile(path, "data"));
  const std::string ended = std::to_string(under_test->EndedProcess());
  const std::string alive = std::to_string(under_test->LiveProcess());
  const std::string later = std::to_string(under_test->LiveProcess());
  const std::string prefix = "words.db.tmp.";
  constexpr int kHourAgo = 3600;
  under_test->WriteRaw(prefix + ended, "part of a save", kHourAgo);
  // Alive, but started after its copy was written: the id was reused.
  under_test->WriteRaw(prefix + later, "part of a save", kHourAgo);
  const Names kept = {
      "words.db",
      prefix + alive,                                     // its writer may be at work
      prefix + std::to_string(under_test->OwnProcess()),  // our next save rewrites it
      prefix + "0" + ended,                               // not names a writer gives
      prefix + ended + "x",                               //
      "other.db.tmp." + ended,                            // another file's copy
  };
  for (const std::string& name : kept) {
    if (name != "words.db")
      under_test->WriteRaw(name, "part of a save", name == prefix + alive ? 0 : kHourAgo);
  }
  const std::string folder = prefix + std::to_string(under_test->EndedProcess());
  under_test->MakeFolder(folder);  // not a copy, whatever its name

  EXPECT_EQ(files.RemoveAbandonedCopies(path), 2);
  Names left = kept;
  left.insert(folder);
  EXPECT_EQ(under_test->Names(), left);
  EXPECT_EQ(files.RemoveAbandonedCopies(path), 0) << "nothing more to remove";
  EXPECT_EQ(files.RemoveAbandonedCopies(under_test->Path("absent/words.db")), 0);
}

// The image beside the word database is opened in place: read a piece at a
// time or mapped, and named by the stamp of the file it was made with.
TEST_P(FileSystemContract, OpensFilesInPlaceToReadOrMap) {
  FileSystem& files = under_test->files();
  const std::string path = under_test->Path("words.db.image");
  std::string bytes(2 * 65536 + 5, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 13 + 1);
  ASSERT_TRUE(files.ReplaceWholeFile(path, bytes));
  const std::unique_ptr<ReadOnlyFile> file = files.OpenReadOnly(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->size(), bytes.size());
  char piece[7];
  ASSERT_TRUE(file->ReadAt(65534, piece, sizeof piece));
  EXPECT_EQ(std::string(piece, sizeof piece), bytes.substr(65534, sizeof piece));
  EXPECT_FALSE(file->ReadAt(bytes.size() - 3, piece, sizeof piece)) << "beyond the end";
  const std::span<const unsigned char> mapped = file->Map();
  ASSERT_EQ(mapped.size(), bytes.size());
  EXPECT_EQ(std::memcmp(mapped.data(), bytes.data(), bytes.size()), 0);
  EXPECT_EQ(file->Map().data(), mapped.data()) << "mapped once";

  // Replaced by rename while open and mapped (another process's save): the
  // open file keeps its bytes, the path has the new ones. (Windows may
  // refuse to replace a mapped file: the add-in lets go of its images
  // before it saves.)
  if (files.ReplaceWholeFile(path, "new")) {
    EXPECT_EQ(mapped[5], static_cast<unsigned char>(bytes[5]));
    std::string read;
    ASSERT_TRUE(files.ReadWholeFile(path, &read));
    EXPECT_EQ(read, "new");
  }

  ASSERT_TRUE(files.ReplaceWholeFile(under_test->Path("empty"), ""));
  const std::unique_ptr<ReadOnlyFile> empty = files.OpenReadOnly(under_test->Path("empty"));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->size(), 0u);
  EXPECT_TRUE(empty->Map().empty());
  EXPECT_EQ(files.OpenReadOnly(under_test->Path("absent")), nullptr);
  EXPECT_EQ(files.OpenReadOnly(under_test->Folder()), nullptr) << "a folder is not a file";
}

TEST_P(FileSystemContract, StampsTellEveryNewStateOfAFile) {
  FileSystem& files = under_test->files();
  const std::string path = under_test->Path("words.db");
  FileStamp written;
  ASSERT_TRUE(files.ReplaceWholeFileStamped(path, "one", &written));
  FileStamp now;
  ASSERT_TRUE(files.Stamp(path, &now));
  EXPECT_EQ(now, written) << "the stamp given is the file's";
  EXPECT_NE(written, FileStamp{});
  EXPECT_EQ(written.size, 3u);
  ASSERT_TRUE(files.Stamp(path, &now));
  EXPECT_EQ(now, written) << "unchanged, the same stamp";

  // The same bytes written again, and bytes of the same size, are other
  // states of the file.
  FileStamp again;
  ASSERT_TRUE(files.ReplaceWholeFileStamped(path, "one", &again));
  EXPECT_NE(again, written);
  FileStamp other;
  ASSERT_TRUE(files.ReplaceWholeFileStamped(path, "two", &other));
  EXPECT_NE(other, again);
  // Put in place by another program.
  under_test->WriteRaw("words.db", "one", 0);
  ASSERT_TRUE(files.Stamp(path, &now));
  EXPECT_NE(now, other);

  EXPECT_FALSE(files.Stamp(under_test->Path("absent"), &now));
  EXPECT_FALSE(files.Stamp(under_test->Folder(), &now)) << "a folder is not a file";
  EXPECT_FALSE(files.ReplaceWholeFileStamped(under_test->Path("no/such/file"), "x", &now));
  EXPECT_EQ(under_test->Names(), Names{"words.db"});
}

}  // namespace
}  // namespace varnox::testing
