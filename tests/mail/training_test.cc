// Train Filter: the dialog driven by scripts (with its nested "Select
// Folders"), the walk over the chosen folders, and the save afterwards.
#include "mail/training.h"

#include <gtest/gtest.h>

#include <map>

#include "addin/mail_commands.h"
#include "mail/train_dialog.h"
#include "tests/addin/addin_world.h"

namespace varnox {
namespace {

using testing::AddinWorld;
using testing::FakeFolder;
using testing::FakeItem;
using testing::ScriptedDialogView;

const std::string kSam = "From: Sam <sam@example.com>\r\n";

class TrainingTest : public ::testing::Test {
 protected:
  TrainingTest() {
    addin = &world.Connected();
    world.host.DeliverPendingEvents();
    world.host.ClearCalls();
    world.fakes.files.replace_calls = 0;
    sent = world.store.Find("Sent Items");
    for (int i = 0; i < 3; ++i)
      world.inbox.AddMail(kSam, "meeting notes agenda", "minutes");
    world.inbox.AddOtherItem();
    world.inbox.AddBareMail();  // no headers, no learning mark: teaches nothing
    junk = &world.store.AddFolder("Junk");
    junk->AddMail(kSam, "cheap pills casino", "offer");
    junk->AddMail(kSam, "cheap pills lottery", "winner");
  }

  // The "Select Folders" that ticks `names` and presses OK, or cancels when
  // `names` is empty.
  void ExpectPick(std::vector<std::string> names) {
    world.fakes.dialogs.Expect(dialog_id::kSelectFolders, [names](ScriptedDialogView& v) {
      if (names.empty()) {
        v.Close();
        return;
      }
      auto& rows = v.lists[1007].rows;
      for (const std::string& name : names) {
        auto it = std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.text == name; });
        ASSERT_NE(it, rows.end()) << name << " not offered";
        v.TickRow(1007, static_cast<int>(it - rows.begin()));
      }
      v.Click(kIdOkButton);
    });
  }

  // The train dialog's script.
  void ExpectTrain(testing::ScriptedDialogRunner::Script script) {
    world.fakes.dialogs.Expect(dialog_id::kTrain, std::move(script));
  }

  AddinWorld world;
  CVNXAddin* addin = nullptr;
  FakeFolder* sent = nullptr;
  FakeFolder* junk = nullptr;
};

TEST_F(TrainingTest, StartWithNothingChosenShowsOnlyLearningComplete) {
  const std::size_t words = addin->filter.WordCount();
  ExpectTrain([](ScriptedDialogView& v) {
    EXPECT_EQ(v.texts[1000], "");
    EXPECT_EQ(v.texts[1002], "");
    EXPECT_FALSE(v.checks[1004]);
    v.Click(kIdOkButton);
  });
  OnTrainFilter(*addin);
  EXPECT_EQ(world.Messages(), std::vector<std::string>{": Learning Complete"});
  EXPECT_EQ(world.fakes.ui.messages[0].flags, kMbOk);
  EXPECT_EQ(addin->filter.WordCount(), words);
  EXPECT_EQ(addin->filter.SpamMessages() + addin->filter.CleanMessages(), 0);
  EXPECT_EQ(world.fakes.files.replace_calls, 0);
  EXPECT_EQ(world.fakes.dialogs.Unplayed(), 0);
}

TEST_F(TrainingTest, ClosingTheWindowTrainsNothingAndSaysNothing) {
  ExpectPick({"Inbox"});
  ExpectTrain([](ScriptedDialogView& v) {
    v.Click(1003);
    v.Close();
  });
  OnTrainFilter(*addin);
  EXPECT_TRUE(world.fakes.ui.messages.empty());
  EXPECT_EQ(addin->filter.CleanMessages(), 0);
}

TEST_F(TrainingTest, TeachesGoodMailThenSpamAndSavesTheDatabase) {
  ExpectPick({"Junk"});
  ExpectPick({"Inbox", "Sent Items"});
  ExpectTrain([](ScriptedDialogView& v) {
    v.Click(1001);
    v.Click(1003);
    EXPECT_EQ(v.texts[1000], "Junk;");
    EXPECT_EQ(v.texts[1002], "Inbox;Sent Items;");
    v.Click(kIdOkButton);
  });
  const int references = world.host.LiveReferences();
  OnTrainFilter(*addin);

  EXPECT_EQ(addin->filter.CleanMessages(), 3) << "the three inbox mails; Sent Items is empty";
  EXPECT_EQ(addin->filter.SpamMessages(), 2);
  EXPECT_EQ(world.Messages(), std::vector<std::string>{": Learning Complete"});
  EXPECT_EQ(world.fakes.files.replace_calls, 2) << "the word database and its image, once";
  EXPECT_EQ(world.host.LiveReferences(), references);

  CVNXAddin next(world.fakes.platform());
  next.filter.Initialize();
  EXPECT_EQ(next.filter.SpamMessages(), 2);
  EXPECT_EQ(next.filter.CleanMessages(), 3);
}

// The walk of the second pass fails: only the first pass, good mail, counts.
TEST_F(TrainingTest, SameFolderAsSpamAndGoodMailIsLearnedTwiceGoodFirst) {
  for (bool second_walk_fails : {false, true}) {
    SCOPED_TRACE(second_walk_fails);
    AddinWorld& w = world;
    ExpectPick({"Junk"});
    ExpectPick({"Junk"});
    ExpectTrain([](ScriptedDialogView& v) {
      v.Click(1001);
      v.Click(1003);
      v.Click(kIdOkButton);
    });
    const std::int32_t spam = addin->filter.SpamMessages();
    const std::int32_t clean = addin->filter.CleanMessages();
    if (second_walk_fails)
      w.host.Fail("Items.GetFirst", kEFail).skip = 1;
    OnTrainFilter(*addin);
    w.host.ClearFailures();
    EXPECT_EQ(addin->filter.CleanMessages() - clean, 2);
    EXPECT_EQ(addin->filter.SpamMessages() - spam, second_walk_fails ? 0 : 2);
  }
}

TEST_F(TrainingTest, ChoosingAgainReplacesTheChoiceAndCancellingKeepsIt) {
  ExpectPick({"Inbox"});
  ExpectPick({"Junk", "Sent Items"});
  ExpectPick({});
  ExpectTrain([](ScriptedDialogView& v) {
    v.Click(1001);
    EXPECT_EQ(v.texts[1000], "Inbox;");
    v.Click(1001);
    EXPECT_EQ(v.texts[1000], "Sent Items;Junk;") << "list order, not the order ticked";
    v.Click(1001);
    EXPECT_EQ(v.texts[1000], "Sent Items;Junk;");
    v.Type(1000, "Inbox;");  // typed text is never read
    v.Click(kIdOkButton);
  });
  OnTrainFilter(*addin);
  EXPECT_EQ(addin->filter.SpamMessages(), 2);
  EXPECT_EQ(addin->filter.CleanMessages(), 0);
  // Every "Select Folders" offered the same mail folders of the store.
  for (const auto& run : world.fakes.dialogs.runs) {
    if (run.template_id == dialog_id::kSelectFolders) {
      EXPECT_EQ(run.lists.at(1007).rows.size(), 7u);
    }
  }
}

TEST_F(TrainingTest, EmptyingFirstHappensAtStartEvenWithNothingChosen) {
  addin->filter.Learn("old words here", "old", 1);
  ASSERT_GT(addin->filter.WordCount(), 0u);
  ExpectTrain([this](ScriptedDialogView& v) {
    v.Tick(1004, true);
    v.Click(kIdOkButton);
    EXPECT_EQ(addin->filter.WordCount(), 0u) << "emptied before the dialog has closed";
  });
  OnTrainFilter(*addin);
  EXPECT_EQ(addin->filter.WordCount(), 0u);
  EXPECT_EQ(world.fakes.files.replace_calls, 2)
      << "the emptied database is saved by Empty (the word database and its image)";
  EXPECT_EQ(world.Messages(), std::vector<std::string>{": Learning Complete"});
}

TEST_F(TrainingTest, FolderRenamedAwayWhileTheDialogIsOpenIsSkipped) {
  ExpectPick({"Junk", "Inbox"});
  ExpectTrain([this](ScriptedDialogView& v) {
    v.Click(1001);
    junk->name = "Old Junk";
    v.Click(kIdOkButton);
  });
  OnTrainFilter(*addin);
  EXPECT_EQ(addin->filter.SpamMessages(), 3) << "the inbox only";
  EXPECT_EQ(world.Messages(), std::vector<std::string>{": Learning Complete"});
}

// Hears a training run's progress.
class HeardWalks final : public TrainingProgress {
 public:
  void FolderStarted(host::Folder& folder) override {
    std::string name;
    folder.Name(&name);
    heard.push_back("start " + name);
    items = 0;
  }
  void ItemDone() override { ++items; }
  void FolderFinished() override { heard.push_back("end after " + std::to_string(items)); }
  std::vector<std::string> heard;
  int items = 0;
};

TEST_F(TrainingTest, ARunCountsWhatItTaughtAndPassedOverAndTellsItsProgress) {
  HeardWalks walks;
  const TrainingOutcome outcome = Train(*addin, {"INBOX", "Nowhere"}, {"Junk"}, &walks);
  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.taught, 5);
  EXPECT_EQ(outcome.notTaught, 1) << "the mail without headers";
  EXPECT_EQ(outcome.notMail, 1);
  EXPECT_EQ(outcome.missingFolders, std::vector<std::string>{"Nowhere"});
  EXPECT_EQ(walks.heard,
            (std::vector<std::string>{"start Inbox", "end after 5", "start Junk", "end after 2"}));
  EXPECT_EQ(addin->filter.CleanMessages(), 3);
  EXPECT_EQ(addin->filter.SpamMessages(), 2);
  EXPECT_EQ(world.fakes.files.replace_calls, 2)
      << "saved once, at the end (the word database and its image)";
  EXPECT_EQ(world.Messages(), std::vector<std::string>{": Learning Complete"});
}

TEST(TrainFromFolder, TeachesMailDirectlyInTheFolderAndRelearnsMarkedMail) {
  AddinWorld world;
  CVNXAddin& addin = world.Connected();
  FakeFolder& folder = world.store.AddFolder("Training");
  FakeItem& plain = folder.AddMail(kSam, "first message body", "one");
  FakeItem& marked = folder.AddMail(kSam + "X-VNX-LEARN:NotSpam\r\n", "second message body", "two");
  folder.AddOtherItem();
  folder.AddBareMail();
  folder.AddFolder("Nested").AddMail(kSam, "nested message", "three");
  world.host.ClearCalls();

  EXPECT_EQ(TrainFromFolder(addin, *world.host.FolderRef(folder), 1), 2);
  // Learning reads the headers again before body and subject; relearning
  // reads body and subject after the mark only.
  std::map<std::string, std::vector<std::string>> reads;
  for (const testing::FakeCall& call : world.host.CallsTo("Message.GetProp"))
    reads[call.target].push_back(call.detail);
  EXPECT_EQ(reads[plain.label()],
            (std::vector<std::string>{"0x007D001E", "0x007D001E", "0x1000001E", "0x0E1D001E"}));
  EXPECT_EQ(reads[marked.label()],
            (std::vector<std::string>{"0x007D001E", "0x1000001E", "0x0E1D001E"}));
  EXPECT_GE(addin.filter.SpamMessages(), 2);
  EXPECT_EQ(world.host.CountCalls("Folder.Folders"), 0) << "sub-folders are not walked";
}

TEST(TrainFromFolder, FolderWhoseItemsCannotBeWalkedTeachesNothing) {
  AddinWorld world;
  CVNXAddin& addin = world.Connected();
  world.inbox.AddMail(kSam, "body", "subject");
  for (const char* op : {"Folder.Items", "Items.GetFirst"}) {
    world.host.Fail(op, kEFail);
    EXPECT_EQ(TrainFromFolder(addin, *world.host.FolderRef(world.inbox), 0), 0) << op;
    world.host.ClearFailures();
  }
  EXPECT_EQ(addin.filter.CleanMessages(), 0);
}

}  // namespace
}  // namespace varnox
