// Mark Spam and Not Spam over the fake host's explorer selection, with the
// real filter, the scripted "Select Outlook Folder" dialog and the word
// database in the fake file system.
#include "mail/mark_commands.h"

#include <gtest/gtest.h>

#include "addin/mail_commands.h"
#include "tests/addin/addin_world.h"

namespace varnox {
namespace {

using testing::AddinWorld;
using testing::FakeFolder;
using testing::FakeItem;
using testing::ScriptedDialogView;

const std::string kSam = "From: Sam <sam@example.com>\r\n";

// A connected add-in whose explorer shows `viewed`, with the spam folder
// made at start-up and the start-up's own events delivered.
class MarkCommandsTest : public ::testing::Test {
 protected:
  MarkCommandsTest() {
    addin = &world.Connected();
    world.host.DeliverPendingEvents();
    spam = world.store.Find("SpamFilter");
    world.host.current_folder = &world.inbox;
    world.host.ClearCalls();
    world.fakes.files.replace_calls = 0;
    spam_before = addin->filter.SpamMessages();
    clean_before = addin->filter.CleanMessages();
  }

  FakeItem& Mail(FakeFolder& folder, const std::string& extra_headers = "") {
    return folder.AddMail(kSam + extra_headers, "cheap pills for you", "offer");
  }

  std::int32_t SpamLearned() const { return addin->filter.SpamMessages() - spam_before; }
  std::int32_t CleanLearned() const { return addin->filter.CleanMessages() - clean_before; }

  // One "Select Outlook Folder" that picks `name` (ticking "Don't Display
  // this again" when `remember`), or cancels when `name` is empty.
  void ExpectFolderPick(const std::string& name, bool remember = false) {
    world.fakes.dialogs.Expect(dialog_id::kSelectFolder, [name, remember](ScriptedDialogView& v) {
      if (name.empty()) {
        v.Close();
        return;
      }
      const auto& entries = v.combos[201].entries;
      const auto it = std::find(entries.begin(), entries.end(), name);
      ASSERT_NE(it, entries.end()) << name << " not offered";
      v.SelectCombo(201, static_cast<int>(it - entries.begin()));
      v.Tick(202, remember);
      v.Click(kIdOkButton);
    });
  }

  AddinWorld world;
  CVNXAddin* addin = nullptr;
  FakeFolder* spam = nullptr;
  std::int32_t spam_before = 0;
  std::int32_t clean_before = 0;
};

// --- Mark Spam.

TEST_F(MarkCommandsTest, MarkSpamWithEmptyOrForeignSelectionDoesNothing) {
  FakeItem& mail = Mail(world.inbox);
  const int references = world.host.LiveReferences();
  for (bool empty : {true, false}) {
    world.host.selection = empty ? std::vector<FakeItem*>{} : std::vector<FakeItem*>{&mail};
    world.host.selection_class = empty ? outlook::kOlSelection : 5;
    OnMarkSpam(*addin);
    OnNotSpam(*addin);
  }
  EXPECT_EQ(mail.folder(), &world.inbox);
  EXPECT_TRUE(world.fakes.ui.messages.empty());
  EXPECT_EQ(SpamLearned() + CleanLearned(), 0);
  EXPECT_EQ(world.fakes.files.replace_calls, 0);
  EXPECT_EQ(world.host.LiveReferences(), references);
}

TEST_F(MarkCommandsTest, MarkSpamTeachesAndMovesEachMailItSelectsAndSavesOnce) {
  FakeItem& plain = Mail(world.inbox);
  FakeItem& marked = Mail(world.inbox, "X-VNX-LEARN:Spam\r\n");
  FakeItem& other = world.inbox.AddOtherItem();
  FakeItem& headerless = Mail(world.inbox);
  headerless.RemoveProperty(host::kPrTransportMessageHeaders);
  FakeItem& second = Mail(world.inbox, "X-VNX-LEARN:NotSpam\r\n");
  world.host.selection = {&plain, &marked, &other, &headerless, &second};
  const int references = world.host.LiveReferences();

  OnMarkSpam(*addin);

  EXPECT_EQ(plain.folder(), spam);
  EXPECT_EQ(second.folder(), spam) << "a NotSpam mark does not stop Mark Spam";
  EXPECT_EQ(marked.folder(), &world.inbox) << "already taught as spam";
  EXPECT_EQ(headerless.folder(), &world.inbox);
  EXPECT_EQ(other.folder(), &world.inbox);
  EXPECT_EQ(SpamLearned(), 2);
  EXPECT_EQ(plain.headers(), kSam) << "nothing is written into the message";
  EXPECT_TRUE(plain.unread);
  EXPECT_TRUE(world.fakes.ui.messages.empty());
  EXPECT_TRUE(world.fakes.ui.beeps.empty());
  EXPECT_EQ(world.fakes.files.replace_calls, 2) << "the word database and its image, once";
  EXPECT_EQ(world.host.LiveReferences(), references);

  // The lesson is on the disk: a fresh filter reads it back.
  CVNXAddin next(world.fakes.platform());
  next.filter.Initialize();
  EXPECT_EQ(next.filter.SpamMessages(), 2);
}

TEST_F(MarkCommandsTest, MarkSpamMarksReadBeforeMovingWhenAsked) {
  world.fakes.registry.SetDword(setting::kMarkReadBeforeMoving, 1);
  FakeItem& mail = Mail(world.inbox);
  world.host.selection = {&mail};
  OnMarkSpam(*addin);
  std::vector<std::string> ops;
  for (const testing::FakeCall& call : world.host.calls())
    if (call.op.starts_with("MailItem.M"))
      ops.push_back(call.op);
  EXPECT_EQ(
      ops, (std::vector<std::string>{"MailItem.MAPIOBJECT", "MailItem.MarkRead", "MailItem.Move"}));
  EXPECT_FALSE(mail.unread);
  EXPECT_EQ(mail.folder(), spam);
}

TEST_F(MarkCommandsTest, MarkSpamReportsEachFailedMoveAndGoesOn) {
  FakeItem& stuck = Mail(world.inbox);
  FakeItem& moved = Mail(world.inbox);
  stuck.move_status = kEFail;
  world.host.selection = {&stuck, &moved};
  OnMarkSpam(*addin);
  EXPECT_EQ(world.Messages(), std::vector<std::string>{
                                  "Varnox: Failed to move message to Spam Filter Folder HRESULT = "
                                  "-2147467259"});
  EXPECT_EQ(stuck.folder(), &world.inbox);
  EXPECT_EQ(moved.folder(), spam);
  EXPECT_EQ(SpamLearned(), 2);
}

TEST_F(MarkCommandsTest, MarkSpamThatTeachesNothingWritesNothing) {
  FakeItem& marked = Mail(world.inbox, "X-VNX-LEARN:Spam\r\n");
  world.host.selection = {&marked, &world.inbox.AddOtherItem()};
  OnMarkSpam(*addin);
  EXPECT_EQ(world.fakes.files.replace_calls, 0);
  EXPECT_EQ(world.host.CountCalls("MailItem.Move"), 0);
}

// --- Not Spam.

TEST_F(MarkCommandsTest, NotSpamOutsideTheSpamFolderTeachesWithoutMovingAndSaysSoOnce) {
  FakeItem& a = Mail(world.inbox);
  FakeItem& b = Mail(world.inbox);
  FakeItem& c = Mail(world.inbox);
  world.host.selection = {&a, &b, &c};
  OnNotSpam(*addin);
  EXPECT_EQ(CleanLearned(), 3);
  EXPECT_EQ(world.host.CountCalls("MailItem.Move"), 0);
  EXPECT_TRUE(world.fakes.dialogs.runs.empty());
  EXPECT_EQ(world.Messages(), std::vector<std::string>{"Varnox: Learning Complete"});
  EXPECT_EQ(world.fakes.files.replace_calls, 2) << "the word database and its image, once";
}

TEST_F(MarkCommandsTest, NotSpamOnOnlyNonMailItemsShowsNothing) {
  world.host.selection = {&world.inbox.AddOtherItem(), &world.inbox.AddOtherItem()};
  OnNotSpam(*addin);
  EXPECT_TRUE(world.fakes.ui.messages.empty());
  EXPECT_EQ(world.fakes.files.replace_calls, 0);
}

TEST_F(MarkCommandsTest, NotSpamAsksForEachMailWhileTheBoxStaysClear) {
  world.host.current_folder = spam;
  std::vector<FakeItem*> mails = {&Mail(*spam), &Mail(*spam), &Mail(*spam)};
  world.host.selection = mails;
  for (int i = 0; i < 3; ++i)
    ExpectFolderPick("Inbox");

  OnNotSpam(*addin);

  EXPECT_EQ(world.fakes.dialogs.runs.size(), 3u);
  for (FakeItem* mail : mails)
    EXPECT_EQ(mail->folder(), &world.inbox);
  EXPECT_EQ(CleanLearned(), 3);
  EXPECT_EQ(world.Messages(), std::vector<std::string>{"Varnox: Learning Complete"});
  std::string stored = "(absent)";
  addin->settings.NotSpamFolderName(&stored);
  EXPECT_EQ(stored, "");
}

TEST_F(MarkCommandsTest, NotSpamAsksOnceWhenToldNotToAskAgain) {
  world.host.current_folder = spam;
  std::vector<FakeItem*> mails = {&Mail(*spam), &Mail(*spam), &Mail(*spam)};
  world.host.selection = mails;
  ExpectFolderPick("Sent Items", /*remember=*/true);

  OnNotSpam(*addin);

  EXPECT_EQ(world.fakes.dialogs.runs.size(), 1u);
  for (FakeItem* mail : mails)
    EXPECT_EQ(mail->folder(), world.store.Find("Sent Items"));
  std::string stored;
  addin->settings.NotSpamFolderName(&stored);
  EXPECT_EQ(stored, "Sent Items");
}

// The spam folder is recognised by the name of the folder shown, in any
// letter case; the destination setting names a top-level folder.
TEST_F(MarkCommandsTest, NotSpamInASpamFilterOfOddCaseGoesToTheFolderOfTheSetting) {
  FakeFolder& odd = world.store.AddFolder("sPAMfilter");
  world.host.current_folder = &odd;
  world.fakes.registry.SetString(setting::kNotSpamFolderName, "INBOX");
  FakeItem& mail = Mail(odd);
  world.host.selection = {&mail};
  OnNotSpam(*addin);
  EXPECT_TRUE(world.fakes.dialogs.runs.empty());
  EXPECT_EQ(mail.folder(), &world.inbox);
}

TEST_F(MarkCommandsTest, NotSpamWithoutDestinationStillTeachesAndCompletes) {
  world.host.current_folder = spam;
  FakeItem& cancelled = Mail(*spam);
  FakeItem& nowhere = Mail(*spam);
  world.host.selection = {&cancelled};
  ExpectFolderPick("");
  OnNotSpam(*addin);

  world.fakes.registry.SetString(setting::kNotSpamFolderName, "Deleted Long Ago");
  world.host.selection = {&nowhere};
  OnNotSpam(*addin);

  EXPECT_EQ(cancelled.folder(), spam);
  EXPECT_EQ(nowhere.folder(), spam);
  EXPECT_EQ(CleanLearned(), 2);
  EXPECT_EQ(world.Messages(),
            (std::vector<std::string>{"Varnox: Learning Complete", "Varnox: Learning Complete"}));
}

TEST_F(MarkCommandsTest, NotSpamReportsEachFailedMoveAndGoesOn) {
  world.host.current_folder = spam;
  world.fakes.registry.SetString(setting::kNotSpamFolderName, "Inbox");
  FakeItem& stuck = Mail(*spam);
  FakeItem& moved = Mail(*spam);
  stuck.move_status = static_cast<HResult>(0x80040604u);
  world.host.selection = {&stuck, &moved};
  OnNotSpam(*addin);
  EXPECT_EQ(world.Messages(),
            (std::vector<std::string>{"Spam Filter: Failed to move message HRESULT = -2147219964",
                                      "Varnox: Learning Complete"}));
  EXPECT_EQ(moved.folder(), &world.inbox);
  EXPECT_EQ(stuck.folder(), spam);
}

// The user's correction holds: mail that Not Spam moved into a watched folder
// is not judged again when it arrives there, and keeps its stamps. Another
// arrival of the same mail later is judged as any other.
TEST_F(MarkCommandsTest, MailNotSpamMovedIsNotJudgedAgainOnArrival) {
  world.host.current_folder = spam;
  world.fakes.registry.SetString(setting::kNotSpamFolderName, "Inbox");
  const std::string stamped = kSam + "X-VNX-RESULT:Spam\r\nX-VNX-SCORE:99\r\nX-VNX-TOP-WORDS:\r\n";
  FakeItem& mail = spam->AddMail(stamped, "cheap pills for you", "offer");
  FakeItem& other = Mail(*spam);
  world.host.selection = {&mail, &other};
  OnNotSpam(*addin);
  ASSERT_EQ(mail.folder(), &world.inbox);
  EXPECT_EQ(addin->notSpamMoves.size(), 2u);

  EXPECT_EQ(world.host.DeliverPendingEvents(), 2);
  EXPECT_EQ(mail.folder(), &world.inbox);
  EXPECT_EQ(mail.headers(), stamped) << "no second verdict";
  EXPECT_EQ(mail.property_writes, 0);
  EXPECT_EQ(other.headers(), kSam);
  EXPECT_TRUE(addin->notSpamMoves.empty()) << "each arrival takes its move back";

  world.host.FireItemAdd(mail);
  EXPECT_NE(mail.headers().find("X-VNX-SCORE:", stamped.size()), std::string::npos)
      << mail.headers();
}

// Without the host's identity of the moved item, its arrival is judged as
// before: nothing is skipped on a guess.
TEST_F(MarkCommandsTest, NotSpamMoveWithoutIdentityIsJudgedOnArrival) {
  world.host.current_folder = spam;
  world.fakes.registry.SetString(setting::kNotSpamFolderName, "Inbox");
  FakeItem& mail = Mail(*spam);
  world.host.selection = {&mail};
  world.host.Fail("MailItem.Identity");
  OnNotSpam(*addin);
  EXPECT_TRUE(addin->notSpamMoves.empty());
  EXPECT_EQ(world.host.DeliverPendingEvents(), 1);
  EXPECT_NE(mail.headers().find("X-VNX-RESULT:"), std::string::npos) << mail.headers();
}

TEST_F(MarkCommandsTest, NotSpamRelearnsMarkedMailAndSkipsWhatCannotBeTaught) {
  FakeItem& marked = Mail(world.inbox, "X-VNX-LEARN:Spam\r\n");
  FakeItem& bare = world.inbox.AddBareMail();
  world.host.selection = {&bare};
  OnNotSpam(*addin);
  EXPECT_EQ(world.fakes.files.replace_calls, 0) << "nothing taught, nothing written";
  EXPECT_EQ(world.Messages(), std::vector<std::string>{"Varnox: Learning Complete"});

  // Learned as spam first, then corrected: the counts move to the clean side.
  addin->filter.Learn("cheap pills for you", "offer", 1);
  world.host.selection = {&marked};
  world.host.ClearCalls();
  OnNotSpam(*addin);
  std::vector<std::string> reads;
  for (const testing::FakeCall& call : world.host.CallsTo("Message.GetProp"))
    reads.push_back(call.detail);
  EXPECT_EQ(reads, (std::vector<std::string>{"0x007D001E", "0x1000001E", "0x0E1D001E"}))
      << "the mark is read, then body and subject only (a relearn)";
  EXPECT_EQ(world.fakes.files.replace_calls, 2) << "the word database and its image, once";
}

// The items a command line names, as the operations take them.
class ItemsOf final : public host::ItemList {
 public:
  ItemsOf(testing::FakeHost& host, std::vector<FakeItem*> items)
      : host_(host), items_(std::move(items)) {}
  HResult Count(std::int32_t* count) override {
    *count = static_cast<std::int32_t>(items_.size());
    return kSOk;
  }
  HResult GetItem(std::int32_t index, std::unique_ptr<host::Item>* item) override {
    *item = host_.ItemRef(*items_.at(static_cast<std::size_t>(index) - 1));
    return kSOk;
  }

 private:
  testing::FakeHost& host_;
  std::vector<FakeItem*> items_;
};

TEST_F(MarkCommandsTest, TheOperationsCountWhatTheyDidWithEachItem) {
  FakeItem& plain = Mail(world.inbox);
  FakeItem& marked = Mail(world.inbox, "X-VNX-LEARN:Spam\r\n");
  FakeItem& other = world.inbox.AddOtherItem();
  FakeItem& stuck = Mail(world.inbox);
  stuck.move_status = kEFail;
  ItemsOf named(world.host, {&plain, &marked, &other, &stuck});
  const CorrectionOutcome spam_run = MarkSpam(*addin, named);
  EXPECT_EQ(spam_run.items, 4);
  EXPECT_EQ(spam_run.notMail, 1);
  EXPECT_EQ(spam_run.notTaught, 1) << "marked X-VNX-LEARN:Spam";
  EXPECT_EQ(spam_run.taught, 2);
  EXPECT_EQ(spam_run.moved, 1);
  EXPECT_EQ(spam_run.failedMoves, std::vector<HResult>{kEFail});
  EXPECT_EQ(spam_run.stayed, 0);
  ASSERT_EQ(plain.folder(), spam);

  // From the spam folder: asked before each item is looked at; the first
  // answer names a folder, the others none.
  FakeFolder& archive = world.store.AddFolder("Archive");
  std::vector<std::optional<std::string>> answers = {"archive", std::nullopt, std::nullopt};
  std::size_t asked = 0;
  ItemsOf back(world.host, {&plain, &other, &stuck});
  const CorrectionOutcome good_run =
      NotSpam(*addin, back, /*fromSpamFolder=*/true, [&] { return answers.at(asked++); });
  EXPECT_EQ(asked, 3u);
  EXPECT_EQ(good_run.items, 3);
  EXPECT_EQ(good_run.notMail, 1);
  EXPECT_EQ(good_run.taught, 2);
  EXPECT_EQ(good_run.moved, 1);
  EXPECT_EQ(good_run.stayed, 1);
  EXPECT_TRUE(good_run.failedMoves.empty());
  EXPECT_EQ(plain.folder(), &archive);
  EXPECT_EQ(stuck.folder(), &world.inbox);

  ItemsOf none(world.host, {});
  const CorrectionOutcome empty_run = NotSpam(*addin, none, true, nullptr);
  EXPECT_EQ(empty_run.items, 0);
  EXPECT_EQ(world.Messages(), (std::vector<std::string>{
                                  "Varnox: Failed to move message to Spam Filter Folder HRESULT = "
                                  "-2147467259",
                                  "Varnox: Learning Complete"}))
      << "nothing at all for an empty list";
}

}  // namespace
}  // namespace varnox
