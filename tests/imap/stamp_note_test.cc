// The notes the IMAP store keeps in the journal: what they encode must read
// back as it was, and anything else must be refused rather than carried out.
#include "linux/imap/stamp_note.h"

#include <gtest/gtest.h>

#include "linux/imap/imap_store_state.h"

namespace varnox {
namespace {

StampNote Note() {
  StampNote note;
  note.folder = "INBOX";
  note.validity = 7;
  note.uid = 42;
  note.destination = "Spam&AOk-";
  note.flags = {"\\Seen", "\\Flagged"};
  note.date = ImapDate{2024, 2, 29, 23, 59, 58, -330};
  note.appended = "X-VNX-RESULT:Spam\r\nX-VNX-SCORE:97\r\nX-VNX-TOP-WORDS: a 99\r\n";
  note.destination_validity = 9;
  note.destination_next = 100;
  note.copy_uid = 101;
  return note;
}

TEST(StampNoteTest, WhatIsEncodedReadsBackAsItWas) {
  StampNote keyword = Note();
  keyword.keyword = true;
  keyword.appended.clear();
  StampNote bare = Note();
  bare.flags.clear();
  bare.date.reset();
  bare.destination_validity = bare.destination_next = bare.copy_uid = 0;
  StampNote spaced = Note();
  spaced.folder = "Lists/Été et hiver";
  for (const StampNote& note : {Note(), keyword, bare, spaced}) {
    const std::string key = StampNoteKey(note.folder, note.validity, note.uid);
    EXPECT_TRUE(IsStampNoteKey(key));
    StampNote read;
    ASSERT_TRUE(DecodeStampNote(key, EncodeStampNote(note), &read)) << key;
    EXPECT_EQ(read, note) << key;
  }
}

TEST(StampNoteTest, DamagedNotesAreRefused) {
  const StampNote note = Note();
  const std::string key = StampNoteKey(note.folder, note.validity, note.uid);
  const std::string value = EncodeStampNote(note);
  const std::string after_mode = value.substr(value.find('\n'));
  struct Case {
    const char* what;
    std::string key, value;
  };
  const Case cases[] = {
      {"not a stamp's key", "next INBOX", value},
      {"no UID", "stamp 7 INBOX", value},
      {"UIDVALIDITY 0", "stamp 0 42 INBOX", value},
      {"UID 0", "stamp 7 0 INBOX", value},
      {"no folder", "stamp 7 42 ", value},
      {"a mode of another kind", key, "x" + after_mode},
      {"nothing", key, ""},
      {"no destination", key, "h\n\n9 100 101\n\\Seen\n-\n"},
      {"a progress field missing", key, "h\nINBOX\n9 100\n\\Seen\n-\n"},
      {"a progress field not a number", key, "h\nINBOX\n9 1x0 101\n\\Seen\n-\n"},
      {"an empty flag", key, "h\nINBOX\n9 100 101\n\\Seen  \\Flagged\n-\n"},
      {"a date cut short", key, "h\nINBOX\n9 100 101\n\\Seen\n2024 2 29\n"},
      {"a date field not a number", key, "h\nINBOX\n9 100 101\n\\Seen\n2024 2 29 a 0 0 0\n"},
  };
  for (const Case& c : cases) {
    StampNote read = note;
    EXPECT_FALSE(DecodeStampNote(c.key, c.value, &read)) << c.what;
    EXPECT_EQ(read, note) << c.what << ": left as it was";
  }
}

TEST(StampNoteTest, FolderMarksReadBackAndDamagedOnesAreRefused) {
  FolderMark mark;
  ASSERT_TRUE(DecodeFolderMark(EncodeFolderMark({5, 77}), &mark));
  EXPECT_EQ(mark.validity, 5u);
  EXPECT_EQ(mark.next, 77u);
  for (const char* bad : {"", "5", "0 77", "5 77 1", "5 -1", "x 7", "5 99999999999"})
    EXPECT_FALSE(DecodeFolderMark(bad, &mark)) << bad;
  EXPECT_NE(FolderMarkKey("INBOX"), StampNoteKey("INBOX", 1, 1));
}

TEST(StampNoteTest, OnlyNamesANoteCanHoldAreTaken) {
  EXPECT_TRUE(NoteCanName("INBOX"));
  EXPECT_TRUE(NoteCanName("a b/c"));
  for (std::string_view bad : {std::string_view(""), std::string_view("a\nb"),
                               std::string_view("a\rb"), std::string_view("a\0b", 3)})
    EXPECT_FALSE(NoteCanName(bad));
}

TEST(UidRunsTest, RunsJoinSplitAndEncode) {
  struct Case {
    std::vector<std::uint32_t> added;
    std::uint32_t drop_below;
    const char* encoded;
  };
  const Case cases[] = {
      {{}, 0, ""},
      {{5}, 0, "5"},
      {{5, 6, 7}, 0, "5-7"},
      {{7, 5, 6}, 0, "5-7"},  // a gap filled joins both sides
      {{5, 7, 9, 8}, 0, "5 7-9"},
      {{5, 5, 6, 6}, 0, "5-6"},    // twice is once
      {{1, 2, 3, 10}, 3, "3 10"},  // cut inside a run
      {{1, 2, 3, 10}, 4, "10"},
      {{1, 2, 3, 10}, 11, ""},
      {{4294967295u, 4294967294u}, 0, "4294967294-4294967295"},
  };
  for (const Case& c : cases) {
    UidRuns runs;
    for (std::uint32_t uid : c.added)
      runs.Add(uid);
    if (c.drop_below != 0)
      runs.DropBelow(c.drop_below);
    EXPECT_EQ(runs.Encode(), c.encoded);
    UidRuns read;
    ASSERT_TRUE(read.Decode(runs.Encode())) << c.encoded;
    EXPECT_EQ(read.Uids(), runs.Uids()) << c.encoded;
    for (std::uint32_t uid : runs.Uids())
      EXPECT_TRUE(runs.Contains(uid)) << uid;
  }
  UidRuns runs;
  runs.Add(3);
  EXPECT_FALSE(runs.Contains(2));
  EXPECT_FALSE(runs.Contains(4));
  for (const char* bad : {"0", "5-4", "1-3 2", "a", "1--2", "1 ", " 1", "1-"})
    EXPECT_FALSE(runs.Decode(bad)) << bad;
  EXPECT_TRUE(runs.empty()) << "a refused text leaves nothing";
}

}  // namespace
}  // namespace varnox
