// The new-mail pipeline, walked through the fake host with the real filter
// and the real sender lists (loaded from list files in the fake file system).
#include "mail/process_new_item.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "addin/vnx_addin.h"
#include "platform/module_lock.h"
#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakeFolder;
using testing::FakeHost;
using testing::FakeItem;
using testing::FakePlatform;

enum class Learned { kNothing, kClean, kSpam };
using Decided = NewItemOutcome::Decided;
using PassedOver = NewItemOutcome::PassedOver;

// A sender list file: MailID entries, then Domain entries.
std::string ListFile(const std::vector<std::string>& addresses,
                     const std::vector<std::string>& domains) {
  std::string xml = "<?xml version=\"1.0\" ?>\n<List>\n";
  for (const std::string& a : addresses)
    xml += "  <MailID Name=\"" + a + "\" />\n";
  for (const std::string& d : domains)
    xml += "  <Domain Name=\"" + d + "\" />\n";
  return xml + "</List>\n";
}

// Compares `actual` with tests/data/mail/`name`. With VARNOX_UPDATE_GOLDEN
// set, writes `actual` there instead (review the diff before committing it).
void ExpectGolden(const std::string& name, const std::string& actual) {
  const char* root = std::getenv("VARNOX_TEST_DATA");
  const std::string path = std::string(root != nullptr ? root : "tests/data") + "/mail/" + name;
  if (std::getenv("VARNOX_UPDATE_GOLDEN") != nullptr) {
    std::ofstream out(path, std::ios::binary);
    out << actual;
    ASSERT_TRUE(out.flush()) << "cannot write " << path;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path << " is missing";
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(actual, expected.str()) << "differs from " << path;
}

// The world of one test: a store with an inbox and the spam folder, the
// platform fakes (with the user interface journaled into the host's calls),
// and an add-in built on demand once the settings and list files are set.
class PipelineFixture {
 public:
  PipelineFixture() {
    fakes.registry.CreateKey();
    fakes.registry.SetString(setting::kBlackListPath, "black.xml");
    fakes.registry.SetString(setting::kWhiteListPath, "white.xml");
    SetLists({}, {}, {}, {});
  }

  void SetLists(const std::vector<std::string>& white_addresses,
                const std::vector<std::string>& white_domains,
                const std::vector<std::string>& black_addresses,
                const std::vector<std::string>& black_domains) {
    fakes.files.files["white.xml"] = ListFile(white_addresses, white_domains);
    fakes.files.files["black.xml"] = ListFile(black_addresses, black_domains);
  }

  CVNXAddin& Addin() {
    if (addin == nullptr) {
      addin = std::make_unique<CVNXAddin>(platform);
      addin->spamFolder = host.FolderRef(spam);
    }
    return *addin;
  }

  // Runs the pipeline on `item` and checks what must hold on every way out:
  // the module lock count and the host references are back where they were.
  NewItemOutcome Process(FakeItem& item) {
    CVNXAddin& a = Addin();
    const long locks = ModuleLockCount();
    const int references = host.LiveReferences();
    NewItemOutcome outcome = ProcessNewItem(a, *host.ItemRef(item));
    EXPECT_EQ(ModuleLockCount(), locks);
    EXPECT_EQ(host.LiveReferences(), references);
    return outcome;
  }

  // The calls that change the message or reach the user, in order.
  std::vector<std::string> Effects() const {
    static const std::vector<std::string> kEffects = {"ui.Beep",           "ui.ShowMessage",
                                                      "Message.SetProp",   "Message.SaveChanges",
                                                      "MailItem.MarkRead", "MailItem.Move"};
    std::vector<std::string> ops;
    for (const testing::FakeCall& call : host.calls())
      if (std::find(kEffects.begin(), kEffects.end(), call.op) != kEffects.end())
        ops.push_back(call.op);
    return ops;
  }

  Learned WhatWasLearned(std::int32_t spam_before, std::int32_t clean_before) {
    const BayesianCore& core = Addin().filter.core();
    if (core.spamMessages() > spam_before)
      return Learned::kSpam;
    if (core.cleanMessages() > clean_before)
      return Learned::kClean;
    return Learned::kNothing;
  }

  FakePlatform fakes;
  FakeHost host;
  std::unique_ptr<UserInterface> ui = host.JournalingUserInterface(fakes.ui);
  Platform platform = testing::WithUserInterface(fakes.platform(), *ui);
  FakeFolder& store = host.AddStore("Personal Folders");
  FakeFolder& inbox = store.AddFolder("Inbox");
  FakeFolder& spam = store.AddFolder("SpamFilter");
  std::unique_ptr<CVNXAddin> addin;
};

const std::vector<std::string> kNotSpamWrites = {"Message.SetProp", "Message.SaveChanges"};
const std::vector<std::string> kSpamMove = {"Message.SetProp", "Message.SaveChanges",
                                            "MailItem.Move"};

const std::string kSam = "From: Sam <sam@example.com>\r\n";

// Twelve words, each learned 11 times as spam only: each weighs 0.9999 (99
// as a percentage), and twelve of them take the clean product below the
// smallest float, so the score is exactly 100.
const std::string kSpamBody =
    "cheap pills casino lottery winner prize bonus credit loans deals offer viagra";
const std::string kSpamStamp =
    "X-VNX-RESULT:Spam\r\nX-VNX-SCORE:100\r\nX-VNX-TOP-WORDS: bonus 99 casino 99 cheap 99 "
    "credit 99 deals 99 loans 99 lottery 99 offer 99 pills 99 prize 99 viagra 99 winner 99\r\n";

// One row of the pipeline's table of tests.
struct PipelineCase {
  const char* name;
  Decided decided = Decided::kFilter;  // expected: the test that decides
  std::string headers = "From: Sam <sam@example.com>\r\n";
  std::string subject = "hello";
  std::string body = "world";
  std::vector<std::string> white_addresses = {}, white_domains = {}, black_addresses = {},
                           black_domains = {};
  bool learn_white = false, learn_black = false, beep = false, mark_read = false;
  bool trained = false;        // the filter knows the words of kSpamBody as spam only
  bool header_fields = false;  // the store keeps message files
  // Expected.
  std::string appended = {};  // what the headers gain, byte for byte
  bool moved = false;
  Learned learned = Learned::kNothing;
  std::vector<std::string> effects = {};
};

class PipelineTableTest : public ::testing::TestWithParam<PipelineCase> {};

TEST_P(PipelineTableTest, FirstTestThatAppliesDecides) {
  const PipelineCase& c = GetParam();
  PipelineFixture f;
  f.SetLists(c.white_addresses, c.white_domains, c.black_addresses, c.black_domains);
  f.fakes.registry.SetDword(setting::kLearnFromWhiteListed, c.learn_white);
  f.fakes.registry.SetDword(setting::kLearnFromBlackListed, c.learn_black ? 7 : 0);
  f.fakes.registry.SetDword(setting::kBeepAtSpam, c.beep);
  f.fakes.registry.SetDword(setting::kMarkReadBeforeMoving, c.mark_read);
  CVNXAddin& addin = f.Addin();
  if (c.trained)
    for (int i = 0; i < 11; ++i)
      addin.filter.Learn(kSpamBody, "", 1);
  const std::int32_t spam_before = addin.filter.core().spamMessages();
  const std::int32_t clean_before = addin.filter.core().cleanMessages();
  FakeItem& mail = f.inbox.AddMail(c.headers, c.body, c.subject);
  mail.header_fields = c.header_fields;
  f.host.ClearCalls();

  const NewItemOutcome outcome = f.Process(mail);

  EXPECT_EQ(outcome.decidedBy, c.decided);
  EXPECT_EQ(outcome.passedOver,
            c.decided == Decided::kNothing ? PassedOver::kLearnMark : PassedOver::kNo);
  EXPECT_EQ(outcome.appended, c.appended) << "the outcome says what was written";
  EXPECT_EQ(outcome.spam, c.moved ? 1 : 0);
  EXPECT_EQ(outcome.moved, c.moved ? std::optional<HResult>(kSOk) : std::nullopt);
  EXPECT_EQ(outcome.learned, c.learned != Learned::kNothing);
  EXPECT_EQ(outcome.subject, c.decided == Decided::kNothing ? "" : c.subject);
  if (c.decided == Decided::kBlackList)
    EXPECT_EQ(std::string(c.header_fields ? "X-VNX-BLACKLIST:" : "") + outcome.note, c.appended);
  else
    EXPECT_EQ(outcome.note, "");
  EXPECT_EQ(mail.headers(), c.headers + c.appended);
  EXPECT_EQ(mail.folder(), c.moved ? &f.spam : &f.inbox);
  EXPECT_EQ(f.WhatWasLearned(spam_before, clean_before), c.learned);
  EXPECT_EQ(f.Effects(), c.effects);
  EXPECT_EQ(mail.unread, !(c.moved && c.mark_read));
  EXPECT_TRUE(f.fakes.ui.messages.empty());
  EXPECT_EQ(mail.subject(), c.subject) << "only the headers are ever written";
  EXPECT_EQ(mail.body(), c.body);
  if (!outcome.appended.empty()) {
    const AppendedVerdict expected = c.decided == Decided::kBlackList ? AppendedVerdict::kBlackList
                                     : c.decided == Decided::kNonEnglishRule
                                         ? AppendedVerdict::kNonEnglishSpam
                                     : c.moved ? AppendedVerdict::kSpam
                                               : AppendedVerdict::kNotSpam;
    EXPECT_EQ(VerdictOfAppended(outcome.appended), expected) << "read back from what was written";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PipelineTableTest,
    ::testing::Values(
        // Learning marks: the message was taught earlier, or carries the text.
        PipelineCase{.name = "LearnMarkSkips",
                     .decided = Decided::kNothing,
                     .headers = kSam + "X-VNX-LEARN:Spam\r\n",
                     .black_addresses = {"sam@example.com"},
                     .learn_black = true},
        PipelineCase{.name = "AnyLearnTextSkips",
                     .decided = Decided::kNothing,
                     .headers = kSam + "X-VNX-LEARN-Whatever: 1\r\n",
                     .black_addresses = {"sam@example.com"}},
        PipelineCase{.name = "LowerCaseLearnTextIsJudged",
                     .headers = kSam + "x-vnx-learn:spam\r\n",
                     .appended = "X-VNX-RESULT:NotSpam\r\nX-VNX-SCORE:50\r\n"
                                 "X-VNX-TOP-WORDS: hello 50 world 50\r\n",
                     .effects = kNotSpamWrites},
        // White list: address, then domain; left untouched.
        PipelineCase{.name = "WhiteAddress",
                     .decided = Decided::kWhiteList,
                     .white_addresses = {"SAM@Example.com"}},
        PipelineCase{.name = "WhiteAddressLearnsClean",
                     .decided = Decided::kWhiteList,
                     .white_addresses = {"sam@example.com"},
                     .learn_white = true,
                     .learned = Learned::kClean},
        PipelineCase{.name = "WhiteDomain",
                     .decided = Decided::kWhiteList,
                     .white_domains = {"@EXAMPLE.COM"},
                     .beep = true},
        PipelineCase{.name = "WhiteDomainLearnsClean",
                     .decided = Decided::kWhiteList,
                     .white_domains = {"@example.com"},
                     .learn_white = true,
                     .learned = Learned::kClean},
        PipelineCase{.name = "BareDomainEntryNeverMatches",
                     .white_domains = {"example.com"},
                     .appended = "X-VNX-RESULT:NotSpam\r\nX-VNX-SCORE:50\r\n"
                                 "X-VNX-TOP-WORDS: hello 50 world 50\r\n",
                     .effects = kNotSpamWrites},
        PipelineCase{.name = "BothListsIsWhite",
                     .decided = Decided::kWhiteList,
                     .white_addresses = {"sam@example.com"},
                     .black_addresses = {"sam@example.com"},
                     .learn_black = true,
                     .beep = true},
        PipelineCase{.name = "BlackDomainWhiteAddressIsWhite",
                     .decided = Decided::kWhiteList,
                     .white_addresses = {"sam@example.com"},
                     .black_domains = {"@example.com"}},
        // Black list: note, save, move, then the beep.
        PipelineCase{.name = "BlackAddress",
                     .decided = Decided::kBlackList,
                     .black_addresses = {"Sam@Example.COM"},
                     .appended = "sam@example.com is in BlackList",
                     .moved = true,
                     .effects = kSpamMove},
        PipelineCase{
            .name = "BlackAddressLearnsAndBeepsAfterTheMove",
            .decided = Decided::kBlackList,
            .black_addresses = {"sam@example.com"},
            .learn_black = true,
            .beep = true,
            .appended = "sam@example.com is in BlackList",
            .moved = true,
            .learned = Learned::kSpam,
            .effects = {"Message.SetProp", "Message.SaveChanges", "MailItem.Move", "ui.Beep"}},
        PipelineCase{.name = "BlackDomain",
                     .decided = Decided::kBlackList,
                     .black_domains = {"@example.com"},
                     .appended = "sam@example.com Domain is in BlackList",
                     .moved = true,
                     .effects = kSpamMove},
        // On a store of message files the note is a field's value.
        PipelineCase{.name = "BlackAddressInAMessageFileIsAField",
                     .decided = Decided::kBlackList,
                     .black_addresses = {"sam@example.com"},
                     .header_fields = true,
                     .appended = "X-VNX-BLACKLIST:sam@example.com is in BlackList",
                     .moved = true,
                     .effects = kSpamMove},
        PipelineCase{.name = "BlackDomainInAMessageFileIsAField",
                     .decided = Decided::kBlackList,
                     .headers = "From: <X-VNX-RESULT:NotSpam@example.com>\r\n",
                     .black_domains = {"@example.com"},
                     .header_fields = true,
                     .appended = "X-VNX-BLACKLIST:X-VNX-RESULT:NotSpam@example.com Domain is in "
                                 "BlackList",
                     .moved = true,
                     .effects = kSpamMove},
        PipelineCase{.name = "BlackDomainMarkedReadBeforeMoving",
                     .decided = Decided::kBlackList,
                     .black_domains = {"@example.com"},
                     .mark_read = true,
                     .appended = "sam@example.com Domain is in BlackList",
                     .moved = true,
                     .effects = {"Message.SetProp", "Message.SaveChanges", "MailItem.MarkRead",
                                 "MailItem.Move"}},
        // No address at all: empty address and domain key; only an empty
        // entry matches them.
        PipelineCase{.name = "NoAddressMatchesOnlyAnEmptyEntry",
                     .decided = Decided::kBlackList,
                     .headers = "From: Sam\r\n",
                     .black_addresses = {""},
                     .appended = " is in BlackList",
                     .moved = true,
                     .effects = kSpamMove},
        // A bare address, as a new user tries it first.
        PipelineCase{.name = "BareAddressIsBlackListed",
                     .decided = Decided::kBlackList,
                     .headers = "From: sam@example.com\r\n",
                     .black_addresses = {"sam@example.com"},
                     .appended = "sam@example.com is in BlackList",
                     .moved = true,
                     .effects = kSpamMove},
        PipelineCase{.name = "BareAddressDomainIsBlackListed",
                     .decided = Decided::kBlackList,
                     .headers = "from: sam@example.com (Sam)\r\n",
                     .black_domains = {"@example.com"},
                     .appended = "sam@example.com Domain is in BlackList",
                     .moved = true,
                     .effects = kSpamMove},
        PipelineCase{.name = "BareAddressIsWhiteListed",
                     .decided = Decided::kWhiteList,
                     .headers = "X-Original-From: <sam@spam.example>\r\nFrom: sam@example.com\r\n",
                     .white_addresses = {"sam@example.com"},
                     .black_domains = {"@spam.example"}},
        // The filter.
        PipelineCase{.name = "FilterNotSpamNeverBeepsOrMoves",
                     .beep = true,
                     .mark_read = true,
                     .appended = "X-VNX-RESULT:NotSpam\r\nX-VNX-SCORE:50\r\n"
                                 "X-VNX-TOP-WORDS: hello 50 world 50\r\n",
                     .effects = kNotSpamWrites},
        PipelineCase{.name = "FilterNoWordsEndsAfterTheColon",
                     .subject = "",
                     .body = "",
                     .appended = "X-VNX-RESULT:NotSpam\r\nX-VNX-SCORE:0\r\nX-VNX-TOP-WORDS:",
                     .effects = kNotSpamWrites},
        PipelineCase{
            .name = "FilterSpamBeepsBeforeStamping",
            .subject = "",
            .body = kSpamBody,
            .beep = true,
            .trained = true,
            .appended = kSpamStamp,
            .moved = true,
            .effects = {"ui.Beep", "Message.SetProp", "Message.SaveChanges", "MailItem.Move"}},
        PipelineCase{.name = "FilterSpamMarkedReadBeforeMoving",
                     .subject = "",
                     .body = kSpamBody,
                     .mark_read = true,
                     .trained = true,
                     .appended = kSpamStamp,
                     .moved = true,
                     .effects = {"Message.SetProp", "Message.SaveChanges", "MailItem.MarkRead",
                                 "MailItem.Move"}},
        PipelineCase{.name = "NonEnglishStampHasNoScore",
                     .decided = Decided::kNonEnglishRule,
                     .subject = "\xC4\xD5\xCA offer",
                     .appended = "X-VNX-RESULT:Non English Spam",
                     .moved = true,
                     .effects = kSpamMove},
        PipelineCase{.name = "NonEnglishInBodyOnly",
                     .decided = Decided::kNonEnglishRule,
                     .body = "plain \xE9\xE8\xE0",
                     .appended = "X-VNX-RESULT:Non English Spam",
                     .moved = true,
                     .effects = kSpamMove}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Messages the pipeline leaves alone.

struct UnreadableCase {
  const char* name;
  std::uint32_t tag;
  HResult status;  // kMapiENotFound: absent
  int reads;       // property reads made before giving up
};

class UnreadableTest : public ::testing::TestWithParam<UnreadableCase> {};

TEST_P(UnreadableTest, MessageIsLeftUntouched) {
  const UnreadableCase& c = GetParam();
  PipelineFixture f;
  f.SetLists({"sam@example.com"}, {}, {}, {});
  f.fakes.registry.SetDword(setting::kLearnFromWhiteListed, 1);
  f.fakes.registry.SetDword(setting::kBeepAtSpam, 1);
  FakeItem& mail = f.inbox.AddMail(kSam, "body", "subject");
  if (c.status == kMapiENotFound)
    mail.RemoveProperty(c.tag);
  else
    mail.FailProperty(c.tag, c.status);
  f.Addin();
  f.host.ClearCalls();

  EXPECT_EQ(f.Process(mail).passedOver, PassedOver::kUnreadable);

  EXPECT_EQ(mail.property_reads, c.reads);
  EXPECT_TRUE(f.Effects().empty());
  EXPECT_EQ(mail.folder(), &f.inbox);
  EXPECT_EQ(f.Addin().filter.core().cleanMessages(), 0) << "not even the white list's learning";
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnreadableTest,
    ::testing::Values(
        // Unreadable headers are no mark; the pipeline's own read then fails.
        UnreadableCase{"HeadersAbsent", host::kPrTransportMessageHeaders, kMapiENotFound, 2},
        UnreadableCase{"HeadersFailing", host::kPrTransportMessageHeaders, kEAccessDenied, 2},
        UnreadableCase{"BodyAbsent", host::kPrBody, kMapiENotFound, 3},
        UnreadableCase{"BodyFailing", host::kPrBody, kEFail, 3},
        UnreadableCase{"SubjectAbsent", host::kPrNormalizedSubject, kMapiENotFound, 4},
        UnreadableCase{"SubjectFailing", host::kPrNormalizedSubject, kEOutOfMemory, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pipeline, HeadersUnreadableOnlyAtTheSecondReadStopsThere) {
  PipelineFixture f;
  FakeItem& mail = f.inbox.AddMail(kSam, "body", "subject");
  f.Addin();
  testing::FailureRule& rule = f.host.Fail("Message.GetProp", kEFail, &mail);
  rule.skip = 1;  // the mark search reads them; the pipeline's own read fails
  f.Process(mail);
  EXPECT_EQ(mail.property_reads, 1);
  EXPECT_EQ(mail.headers(), kSam);
}

TEST(Pipeline, ItemsThatAreNotMailOrHaveNoMessageAreLeftAlone) {
  PipelineFixture f;
  f.fakes.registry.SetDword(setting::kBeepAtSpam, 1);
  FakeItem& meeting = f.inbox.AddOtherItem();
  FakeItem& no_message = f.inbox.AddMail(kSam, "cheap", "pills");
  no_message.has_message = false;
  FakeItem& failing = f.inbox.AddMail(kSam, "cheap", "pills");
  f.host.Fail("MailItem.MAPIOBJECT", kEFail, &failing);
  EXPECT_EQ(f.Process(meeting).passedOver, PassedOver::kNotMail);
  EXPECT_EQ(f.Process(no_message).passedOver, PassedOver::kNoMessage);
  EXPECT_EQ(f.Process(failing).passedOver, PassedOver::kNoMessage);
  EXPECT_TRUE(f.Effects().empty());
  EXPECT_EQ(no_message.headers(), kSam);
}

// --- Moves.

// A From line with a lone line feed between "<" and ">" put a header line
// of the sender's making into the black-list note of a listed domain.
TEST(Pipeline, CraftedFromCannotInjectAHeaderLineThroughTheBlackListNote) {
  PipelineFixture f;
  f.SetLists({}, {}, {}, {"@black.example"});
  const std::string headers = "From: <x\nX-Injected: yes@black.example>\r\n";
  FakeItem& mail = f.inbox.AddMail(headers, "plain words here", "hello");
  f.Process(mail);
  const std::string added = mail.headers().substr(headers.size());
  EXPECT_EQ(added.find("X-Injected"), std::string::npos) << added;
  EXPECT_EQ(added.rfind("X-VNX-RESULT:NotSpam", 0), 0u) << "judged by the filter instead";
  EXPECT_EQ(mail.folder(), &f.inbox);
}

TEST(Pipeline, ANoteWhoseAddressLooksLikeAStampReadsAsTheBlackList) {
  PipelineFixture f;
  f.SetLists({}, {}, {}, {"@black.example"});
  for (const char* address :
       {"X-VNX-RESULT:NotSpam@black.example", "X-VNX-RESULT:Spam@black.example"}) {
    FakeItem& mail = f.inbox.AddMail("From: <" + std::string(address) + ">\r\n", "body", "hello");
    const NewItemOutcome outcome = f.Process(mail);
    EXPECT_EQ(outcome.decidedBy, Decided::kBlackList) << address;
    EXPECT_EQ(VerdictOfAppended(outcome.appended), AppendedVerdict::kBlackList) << address;
  }
}

TEST(Pipeline, FailedMoveIsReportedAndTheBlackListBeepFollowsIt) {
  PipelineFixture f;
  f.SetLists({}, {}, {"sam@example.com"}, {});
  f.fakes.registry.SetDword(setting::kBeepAtSpam, 1);
  FakeItem& mail = f.inbox.AddMail(kSam, "b", "s");
  mail.move_status = kEFail;
  f.Addin();
  f.host.ClearCalls();
  f.Process(mail);
  ASSERT_EQ(f.fakes.ui.messages.size(), 1u);
  EXPECT_EQ(f.fakes.ui.messages[0].text,
            "Failed to move message to Spam Filter Folder HRESULT = -2147467259");
  EXPECT_EQ(f.fakes.ui.messages[0].caption, "Spam Filter");
  EXPECT_EQ(f.fakes.ui.messages[0].flags, kMbOk);
  EXPECT_EQ(f.Effects(), (std::vector<std::string>{"Message.SetProp", "Message.SaveChanges",
                                                   "MailItem.Move", "ui.ShowMessage", "ui.Beep"}));
  EXPECT_EQ(mail.headers(), kSam + "sam@example.com is in BlackList") << "stamped all the same";
  EXPECT_EQ(mail.folder(), &f.inbox);
}

TEST(Pipeline, FailedMoveWithoutBeepLeavesOnlyTheMessageAndTheStamp) {
  PipelineFixture f;
  FakeItem& mail = f.inbox.AddMail(kSam, "b", "\xC0\xC1\xC2");
  f.host.Fail("MailItem.Move", kEAccessDenied);
  f.Addin();
  f.host.ClearCalls();
  f.Process(mail);
  EXPECT_EQ(f.Effects(), (std::vector<std::string>{"Message.SetProp", "Message.SaveChanges",
                                                   "MailItem.Move", "ui.ShowMessage"}));
  EXPECT_EQ(f.fakes.ui.messages.at(0).text,
            "Failed to move message to Spam Filter Folder HRESULT = -2147024891");
  EXPECT_TRUE(f.fakes.ui.beeps.empty());
  EXPECT_EQ(mail.headers(), kSam + "X-VNX-RESULT:Non English Spam");
}

// Without a spam folder (its creation failed at start-up while some folders
// were already watched) there is nowhere to move to: that is a failed move,
// shown as such, never a move to nowhere.
TEST(Pipeline, NoSpamFolderIsAFailedMove) {
  PipelineFixture f;
  f.fakes.registry.SetDword(setting::kMarkReadBeforeMoving, 1);
  FakeItem& mail = f.inbox.AddMail(kSam, "b", "\xC0\xC1\xC2");
  f.Addin().spamFolder.reset();
  f.Process(mail);
  EXPECT_EQ(f.fakes.ui.messages.at(0).text,
            "Failed to move message to Spam Filter Folder HRESULT = -2147467261");
  EXPECT_TRUE(mail.unread) << "nothing moved, so nothing marked read";
  EXPECT_EQ(f.host.CountCalls("MailItem.Move"), 0);
}

TEST(Pipeline, MarkReadFailureDoesNotStopTheMove) {
  PipelineFixture f;
  f.fakes.registry.SetDword(setting::kMarkReadBeforeMoving, 1);
  FakeItem& mail = f.inbox.AddMail(kSam, "b", "\xC0\xC1\xC2");
  f.host.Fail("MailItem.MarkRead", kEFail);
  f.Process(mail);
  EXPECT_EQ(mail.folder(), &f.spam);
  EXPECT_TRUE(f.fakes.ui.messages.empty());
}

// A message moved back into a watched folder by anything but Not Spam (a
// mail program, the user's own drag) is judged again, the new stamp follows
// the old one, and spam goes back to the spam folder.
TEST(Pipeline, MessageMovedBackIsJudgedAgainAndStampedAfterTheOldStamp) {
  PipelineFixture f;
  f.fakes.registry.SetDword(setting::kBeepAtSpam, 1);
  FakeItem& mail = f.inbox.AddMail(kSam, "plain words here", "\xC0\xC1\xC2 sale");
  f.Process(mail);
  ASSERT_EQ(mail.folder(), &f.spam);
  auto inbox = f.host.FolderRef(f.inbox);
  ASSERT_EQ(f.host.MailItemRef(mail)->Move(*inbox), kSOk);
  f.Process(mail);
  EXPECT_EQ(mail.headers(),
            kSam + "X-VNX-RESULT:Non English Spam" + "X-VNX-RESULT:Non English Spam");
  EXPECT_EQ(mail.folder(), &f.spam);
  EXPECT_EQ(f.fakes.ui.beeps.size(), 2u);
}

// --- The lock and the way in.

class LockWatchingUi final : public UserInterface {
 public:
  int ShowMessage(std::string_view, std::string_view, std::uint32_t) override { return kIdOk; }
  void Beep(std::uint32_t) override { seen.push_back(ModuleLockCount()); }
  void OpenPage(std::string_view) override {}
  std::vector<long> seen;
};

TEST(Pipeline, HoldsOneModuleLockCountWhileItRuns) {
  PipelineFixture f;
  LockWatchingUi ui;
  Platform platform = testing::WithUserInterface(f.fakes.platform(), ui);
  f.fakes.registry.SetDword(setting::kBeepAtSpam, 1);
  CVNXAddin addin(platform);
  addin.spamFolder = f.host.FolderRef(f.spam);
  FakeItem& mail = f.inbox.AddMail(kSam, "b", "\xC0\xC1\xC2");
  const long before = ModuleLockCount();
  ProcessNewItem(addin, *f.host.ItemRef(mail));
  ASSERT_EQ(ui.seen.size(), 1u);
  EXPECT_EQ(ui.seen[0], before + 1);
  EXPECT_EQ(ModuleLockCount(), before);
}

TEST(Pipeline, ItemAddOnAWatchedFolderRunsThePipeline) {
  PipelineFixture f;
  CVNXAddin& addin = f.Addin();
  auto sink = std::make_unique<FolderItemsSink>();
  sink->addin = &addin;
  sink->folder = f.host.FolderRef(f.inbox);
  ASSERT_EQ(sink->folder->GetItems(&sink->items), kSOk);
  ASSERT_EQ(sink->items->Advise(sink.get(), &sink->cookie), kSOk);
  FakeItem& mail = f.host.DeliverMail(f.inbox, kSam, "\xC0\xC1\xC2", "s");
  EXPECT_EQ(mail.folder(), &f.spam);
  EXPECT_EQ(mail.headers(), kSam + "X-VNX-RESULT:Non English Spam");
  sink->items->Unadvise(sink->cookie);
}

// --- Strangers' input.

TEST(Pipeline, ThousandsOfFromLinesAndNulBytesAreJustText) {
  PipelineFixture f;
  f.SetLists({}, {}, {"first@bad.example"}, {});
  std::string headers("X-Junk: \0\0\0\r\n", 14);
  for (int i = 0; i < 3000; ++i)
    headers += "From: <n" + std::to_string(i) + "@x.example>\r\n";
  headers.insert(0, "From: <first@bad.example>\r\n");
  FakeItem& mail = f.inbox.AddMail(headers, std::string("a\0b", 3), std::string("\0", 1));
  f.Process(mail);
  EXPECT_EQ(mail.headers(), headers + "first@bad.example is in BlackList");
}

TEST(Pipeline, AnAddressTooLongForTheBufferIsNoAddress) {
  PipelineFixture f;
  const std::string longest = std::string(250, 'a') + "@bad.co";   // 257
  const std::string too_long = std::string(253, 'a') + "@bad.co";  // 260
  f.SetLists({}, {}, {longest, too_long}, {"@bad.co"});
  FakeItem& fits = f.inbox.AddMail("From: <" + longest + ">\r\n", "b", "s");
  FakeItem& does_not = f.inbox.AddMail("From: <" + too_long + ">\r\n", "b", "s");
  f.Process(fits);
  f.Process(does_not);
  EXPECT_EQ(fits.headers(), "From: <" + longest + ">\r\n" + longest + " is in BlackList");
  EXPECT_EQ(does_not.folder(), &f.inbox) << "neither the address nor its domain matches";
  EXPECT_NE(does_not.headers().find("X-VNX-RESULT:NotSpam"), std::string::npos);
}

TEST(Pipeline, HugeMessageWithoutLineEndsIsJudged) {
  PipelineFixture f;
  std::string headers = "From: <a@b.c>" + std::string(4 * 1024 * 1024, 'h');
  std::string body;
  for (int i = 0; body.size() < 50u * 1024 * 1024; ++i)
    body += "word" + std::to_string(i % 1000) + " filler text ";
  FakeItem& mail = f.inbox.AddMail(headers, body, "subject");
  f.Process(mail);
  const std::string stamped = mail.headers();
  ASSERT_GT(stamped.size(), headers.size());
  EXPECT_EQ(stamped.compare(0, headers.size(), headers), 0);
  EXPECT_EQ(stamped.compare(headers.size(), 22, "X-VNX-RESULT:NotSpam\r\n"), 0);
}

// A golden stamp sequence: a clean verdict, then the same message judged
// again (as when Not Spam moves it back) after the filter learned its words
// as spam.
// A shell keeping a journal is told once the spam stamp is saved and before
// the move, so that a stop in between leaves the move to be finished.
TEST(Pipeline, TheHookBeforeTheSpamMoveComesAfterTheSavedStamp) {
  struct Case {
    const char* name;
    std::vector<std::string> black;
    bool fail_save;
    std::vector<std::string> told;  // the last host call when told
    bool moved;
  };
  for (const Case& c : {Case{"spam", {"sam@example.com"}, false, {"Message.SaveChanges"}, true},
                        Case{"not spam", {}, false, {}, false},
                        Case{"stamp not saved", {"sam@example.com"}, true, {}, true}}) {
    PipelineFixture f;
    f.SetLists({}, {}, c.black, {});
    FakeItem& mail = f.inbox.AddMail(kSam, "body", "subject");
    CVNXAddin& addin = f.Addin();
    if (c.fail_save)
      f.host.Fail("Message.SaveChanges", kEFail, &mail);
    std::vector<std::string> told;
    const NewItemOutcome outcome = ProcessNewItem(
        addin, *f.host.ItemRef(mail), [&] { told.push_back(f.host.calls().back().op); });
    EXPECT_EQ(told, c.told) << c.name;
    EXPECT_EQ(outcome.moved.has_value(), c.moved) << c.name;
    EXPECT_EQ(outcome.saved, c.fail_save ? kEFail : kSOk) << c.name;
    EXPECT_EQ(mail.folder(), c.moved ? &f.spam : &f.inbox) << c.name;
  }
}

TEST(Pipeline, StampsMatchTheGoldenFile) {
  PipelineFixture f;
  CVNXAddin& addin = f.Addin();
  // Fourteen words: once each is known as spam only, the clean product
  // underflows and the score is 100 however the final division is rounded.
  const std::string body =
      "Cheap meds online, best prices. Order now! Discount pharmacy, fast shipping, no "
      "prescription.";
  const std::string subject = "Special offer";
  const std::string headers = "Return-Path: <x@spam.example>\r\nFrom: Deals <x@spam.example>\r\n";
  FakeItem& mail = f.inbox.AddMail(headers, body, subject);
  f.Process(mail);
  for (int i = 0; i < 12; ++i)
    addin.filter.Learn(body, subject, 1);
  f.Process(mail);
  ExpectGolden("stamps.golden", mail.headers());
  EXPECT_EQ(mail.folder(), &f.spam);
}

}  // namespace
}  // namespace varnox
