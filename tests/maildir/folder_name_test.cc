#include "linux/maildir/folder_name.h"

#include <gtest/gtest.h>

#include "linux/maildir/message_file_name.h"

namespace varnox::maildir {
namespace {

struct Utf7Case {
  std::string encoded;
  std::string utf8;
};

class ModifiedUtf7Test : public ::testing::TestWithParam<Utf7Case> {};

TEST_P(ModifiedUtf7Test, DecodesAndEncodesBack) {
  EXPECT_EQ(DecodeModifiedUtf7(GetParam().encoded), GetParam().utf8);
  EXPECT_EQ(EncodeModifiedUtf7(GetParam().utf8), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(Names, ModifiedUtf7Test,
                         ::testing::Values(Utf7Case{"Inbox", "Inbox"}, Utf7Case{"A&-B", "A&B"},
                                           Utf7Case{"Entw&APw-rfe", "Entw\xC3\xBCrfe"},
                                           Utf7Case{"&ZeVnLIqe-",
                                                    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
                                           Utf7Case{"&2D3eAA-", "\xF0\x9F\x98\x80"}));

TEST(ModifiedUtf7Test, MalformedRunsStayAsWritten) {
  EXPECT_EQ(DecodeModifiedUtf7("a&!!-b"), "a&!!-b");
  EXPECT_EQ(DecodeModifiedUtf7("open&AAA"), "open&AAA");
  EXPECT_EQ(DecodeModifiedUtf7("&2D0-"), "&2D0-");  // a lone surrogate
}

TEST(DisplayFolderNameTest, UsesTheHostsNamesForTrashAndSent) {
  EXPECT_EQ(DisplayFolderName("Trash"), "Deleted Items");
  EXPECT_EQ(DisplayFolderName("Deleted Messages"), "Deleted Items");
  EXPECT_EQ(DisplayFolderName("sent"), "Sent Items");
  EXPECT_EQ(DisplayFolderName("Drafts"), "Drafts");
  EXPECT_EQ(DisplayFolderName("Entw&APw-rfe"), "Entw\xFCrfe");
  EXPECT_EQ(DisplayFolderName("&ZeVnLIqe-"), "???");
}

TEST(FolderDirectoryNameTest, EncodesAndRefusesUnsafeNames) {
  EXPECT_EQ(FolderDirectoryName("", "SpamFilter"), ".SpamFilter");
  EXPECT_EQ(FolderDirectoryName(".A", "Entw\xFCrfe"), ".A.Entw&APw-rfe");
  for (const char* bad : {"", ".", "..", "a/b", "a.b", "tab\there"})
    EXPECT_EQ(FolderDirectoryName("", bad), std::nullopt) << bad;
}

TEST(MessageFileNameTest, UniqueNameAndFlags) {
  EXPECT_EQ(UniqueName("123.abc.host:2,RS"), "123.abc.host");
  EXPECT_EQ(UniqueName("123.abc.host"), "123.abc.host");
  EXPECT_EQ(WithFlag("u", 'S'), "u:2,S");
  EXPECT_EQ(WithFlag("u:2,", 'S'), "u:2,S");
  EXPECT_EQ(WithFlag("u:2,FT", 'S'), "u:2,FST");
  EXPECT_EQ(WithFlag("u:2,RS", 'S'), "u:2,RS");
  EXPECT_EQ(WithFlag("u:1,x", 'S'), "u:1,x");
  EXPECT_FALSE(IsMessageFileName(".hidden"));
  EXPECT_FALSE(IsMessageFileName(""));
  EXPECT_TRUE(IsMessageFileName("1.2.h"));
}

}  // namespace
}  // namespace varnox::maildir
