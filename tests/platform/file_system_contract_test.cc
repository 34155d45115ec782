// What every real file system must do alike (file_system_contract.h says how
// a test program runs it against its implementation): the user's files are
// read, replaced and cleaned up the same on every host because of these.
#include "tests/platform/file_system_contract.h"

#include <cstddef>
#include <set>
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

}  // namespace
}  // namespace varnox::testing
