// The hostile corpus (tests/data/maildir) and generated monsters: every
// message is read without a crash, and a stamp written into it keeps every
// other byte of the file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "host/folder.h"
#include "host/item.h"
#include "host/message.h"
#include "linux/maildir/maildir_host.h"
#include "mime/mime_reader.h"
#include "tests/maildir/temp_maildir.h"

namespace varnox::maildir {
namespace {

using testing::TempMaildir;

std::string CorpusFile(const std::string& name) {
  const char* data = std::getenv("VARNOX_TEST_DATA");
  return TempMaildir::Read(std::string(data ? data : "tests/data") + "/maildir/" + name);
}

struct Expected {
  const char* file;
  bool has_headers;
  std::string body;     // "*": not checked
  std::string subject;  // "*": not checked
};

// Reads `raw` as a message of a real folder through the host seam and, when
// it has transport headers, stamps it; checks that the file changed only by
// the stamp. Gives the texts read.
mime::MimeTexts ReadAndStampThroughTheHost(const std::string& raw) {
  TempMaildir store;
  const std::string path = TempMaildir::Deliver(store.root(), "m", raw);
  MaildirHost host;
  EXPECT_EQ(host.AddStore(store.root()), kSOk);
  std::unique_ptr<host::NameSpace> name_space;
  host.ApplicationRef()->Session(&name_space);
  std::unique_ptr<host::Folders> roots, top;
  std::unique_ptr<host::Folder> root, inbox;
  name_space->GetFolders(&roots);
  roots->GetFirst(&root);
  root->GetFolders(&top);
  top->GetFirst(&inbox);
  std::unique_ptr<host::Items> items;
  inbox->GetItems(&items);
  std::unique_ptr<host::Item> item;
  items->GetFirst(&item);
  std::unique_ptr<host::MailItem> mail;
  std::unique_ptr<host::Message> message;
  EXPECT_EQ(item->QueryMailItem(&mail), kSOk);
  EXPECT_EQ(mail->MapiMessage(&message), kSOk);

  mime::MimeTexts texts;
  std::string headers, body, subject;
  if (Succeeded(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers)))
    texts.headers = headers;
  EXPECT_EQ(message->GetStringProperty(host::kPrBody, &texts.body), kSOk);
  EXPECT_EQ(message->GetStringProperty(host::kPrNormalizedSubject, &texts.subject), kSOk);
  if (texts.headers) {
    const std::string stamp = "X-VNX-RESULT:NotSpam\r\nX-VNX-SCORE:50\r\nX-VNX-TOP-WORDS:";
    EXPECT_EQ(message->SetStringProperty(host::kPrTransportMessageHeaders, headers + stamp), kSOk);
    EXPECT_EQ(message->SaveChanges(host::kForceSave), kSOk);
    const mime::HeaderBlock block = mime::FindHeaderBlock(raw);
    const std::string now = TempMaildir::Read(path);
    const std::string line_end(block.line_end);
    std::string expected = raw.substr(0, block.end);
    if (!block.last_line_ended)
      expected += line_end;
    expected += "X-VNX-RESULT:NotSpam" + line_end + "X-VNX-SCORE:50" + line_end +
                "X-VNX-TOP-WORDS:" + line_end + raw.substr(block.end);
    EXPECT_TRUE(now == expected) << "file changed beyond the stamp";
  } else {
    EXPECT_EQ(TempMaildir::Read(path), raw);
  }
  return texts;
}

class HostileCorpusTest : public ::testing::TestWithParam<Expected> {};

TEST_P(HostileCorpusTest, IsReadAndStampedWithoutLosingAByte) {
  const std::string raw = CorpusFile(GetParam().file);
  const mime::MimeTexts direct = mime::ReadMimeTexts(raw);
  const mime::MimeTexts hosted = ReadAndStampThroughTheHost(raw);
  EXPECT_EQ(direct.headers.has_value(), GetParam().has_headers);
  EXPECT_EQ(hosted.headers, direct.headers);
  EXPECT_EQ(hosted.body, direct.body);
  EXPECT_EQ(hosted.subject, direct.subject);
  if (GetParam().body != "*") {
    EXPECT_EQ(direct.body, GetParam().body);
  }
  if (GetParam().subject != "*") {
    EXPECT_EQ(direct.subject, GetParam().subject);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, HostileCorpusTest,
    ::testing::Values(
        Expected{"no-headers.eml", false,
                 "Just some text without any header at all.\r\nSecond line of the text.\r\n", ""},
        Expected{"no-body.eml", true, "", "nothing below"}, Expected{"empty.eml", false, "", ""},
        Expected{"8bit-headers.eml", true, "Body after 8-bit headers.\r\n",
                 "Caf\xE9 cr\xE8me \x95\x95\x95\x95\x95\x95"},
        // "--XYZ-" is no boundary: the rest is text of the first part.
        Expected{"broken-boundary.eml", true,
                 "First part text\r\n--XYZ-\r\nContent-Type: text/html\r\n\r\n"
                 "<p>never closed\r\n--WRONG--\r\n",
                 "broken"},
        Expected{"nested-100.eml", true, "innermost text", "deep"},
        Expected{"unknown-charset.eml", true, "Caf\xE9 au lait\r\n", "*"},
        Expected{"invalid-utf8.eml", true, "Half a char ?? and ?? then \xE9 ok\r\n", "*"},
        Expected{"nul-bytes.eml", true, "*", "*"},
        Expected{"cr-only.eml", true, "Line one\r\nLine two\r\n", "old Mac"},
        Expected{"long-from.eml", true, "Body.\r\n", "long sender"},
        Expected{"only-attachment.eml", true, "", "picture"}),
    [](const ::testing::TestParamInfo<Expected>& info) {
      std::string name = info.param.file;
      name = name.substr(0, name.find('.'));
      for (char& c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return "f" + name;
    });

TEST(HostileMessagesTest, LongFromKeepsItsWholeHeaderLine) {
  const mime::MimeTexts texts = mime::ReadMimeTexts(CorpusFile("long-from.eml"));
  ASSERT_TRUE(texts.headers);
  EXPECT_NE(texts.headers->find(std::string(10000, 'x') + "\" <long@example.org>\r\n"),
            std::string::npos);
}

TEST(HostileMessagesTest, ThirtyMegabyteBase64AttachmentIsNotBody) {
  std::string raw =
      "Received: by mx\nSubject: big\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"B\"\n\n"
      "--B\nContent-Type: text/plain\n\nsee attachment\n"
      "--B\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
      "Content-Disposition: attachment; filename=big.bin\n\n";
  const std::string line(76, 'Q');
  while (raw.size() < (30u << 20))
    raw += line + "\n";
  raw += "--B--\n";
  const mime::MimeTexts texts = ReadAndStampThroughTheHost(raw);
  EXPECT_EQ(texts.body, "see attachment");
  EXPECT_EQ(texts.subject, "big");
}

// Media types ignore letter case, so every spelling meets the same limit on
// the number of multiparts, be they nested deep or side by side.
struct Nesting {
  const char* type;
  int depth;         // multiparts nested in the first one
  int siblings;      // empty multiparts beside them
  const char* body;  // "" when the message is read for its headers only
};

class NestingTest : public ::testing::TestWithParam<Nesting> {};

TEST_P(NestingTest, BeyondTheLimitIsReadForItsHeadersOnly) {
  const Nesting& n = GetParam();
  const std::string type = n.type;
  std::string raw = "Received: by mx\nSubject: abyss\nContent-Type: " + type + "; boundary=b0\n\n";
  for (int i = 0; i < n.siblings; ++i) {
    const std::string inner = "s" + std::to_string(i);
    raw += "--b0\nContent-Type: " + type + "; boundary=" + inner + "\n\n--" + inner + "--\n";
  }
  for (int i = 0; i < n.depth; ++i)
    raw += "--b" + std::to_string(i) + "\nContent-Type: " + type + "; boundary=b" +
           std::to_string(i + 1) + "\n\n";
  raw += "--b" + std::to_string(n.depth) + "\nContent-Type: text/plain\n\nbottom\n";
  const mime::MimeTexts texts = ReadAndStampThroughTheHost(raw);
  EXPECT_EQ(texts.subject, "abyss");
  EXPECT_EQ(texts.body, n.body);
}

INSTANTIATE_TEST_SUITE_P(Spellings, NestingTest, ::testing::ValuesIn([] {
                           std::vector<Nesting> cases;
                           for (const char* type : {"multipart/mixed", "Multipart/Mixed",
                                                    "MULTIPART/MIXED", "mUlTiPaRt/mixed"}) {
                             cases.push_back({type, 3, 0, "bottom\r\n"});
                             cases.push_back({type, 0, 999, "bottom\r\n"});
                             cases.push_back({type, 0, 1000, ""});
                             cases.push_back({type, 20000, 0, ""});
                           }
                           return cases;
                         }()),
                         [](const ::testing::TestParamInfo<Nesting>& info) {
                           const std::string type = info.param.type;
                           return type.substr(0, type.find('/')) + "_" +
                                  std::to_string(info.param.depth) + "_" +
                                  std::to_string(info.param.siblings);
                         });

TEST(HostileMessagesTest, SymbolicLinkAndFifoInAFolderAreRefused) {
  TempMaildir store;
  TempMaildir::Deliver(store.root(), "real", "Received: x\n\nb\n");
  std::filesystem::create_symlink("/etc/hostname", store.root() + "/new/link");
  ASSERT_EQ(mkfifo((store.root() + "/new/pipe").c_str(), 0600), 0);
  MaildirHost host;
  ASSERT_EQ(host.AddStore(store.root()), kSOk);
  std::unique_ptr<host::Folder> inbox;
  ASSERT_EQ(host.FolderOfMessageFile(store.root() + "/new/real", &inbox), kSOk);
  std::unique_ptr<host::Items> items;
  inbox->GetItems(&items);
  int readable = 0, refused = 0;
  std::unique_ptr<host::Item> item;
  for (items->GetFirst(&item); item; items->GetNext(&item)) {
    std::unique_ptr<host::MailItem> mail;
    std::unique_ptr<host::Message> message;
    item->QueryMailItem(&mail);
    ASSERT_EQ(mail->MapiMessage(&message), kSOk);
    std::string body;
    (Succeeded(message->GetStringProperty(host::kPrBody, &body)) ? readable : refused)++;
  }
  EXPECT_EQ(readable, 1);
  EXPECT_EQ(refused, 2);
}

}  // namespace
}  // namespace varnox::maildir
