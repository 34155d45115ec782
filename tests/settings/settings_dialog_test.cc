#include "settings/settings_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/bayesian_filter.h"
#include "platform/user_interface.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::ScriptedDialogView;
using D = SettingsDialog;

// The DWORD settings with the box that shows each.
struct DwordBox {
  const char* name;
  int box;
};
constexpr DwordBox kDwordBoxes[] = {
    {setting::kMarkReadBeforeMoving, D::kIdMarkRead},
    {setting::kConsiderNonEnglishSpam, D::kIdNonEnglish},
    {setting::kBeepAtSpam, D::kIdBeep},
    {setting::kLearnFromMarkSpam, D::kIdLearnSpam},
    {setting::kLearnFromNotSpam, D::kIdLearnNotSpam},
    {setting::kLearnFromBlackListed, D::kIdLearnBlack},
    {setting::kLearnFromWhiteListed, D::kIdLearnWhite},
    {setting::kSecondJudge, D::kIdSecondJudge},
};
constexpr int kAllBoxes[] = {D::kIdMarkRead,   D::kIdNonEnglish, D::kIdBeep,
                             D::kIdAskFolder,  D::kIdLearnSpam,  D::kIdLearnNotSpam,
                             D::kIdLearnBlack, D::kIdLearnWhite, D::kIdSecondJudge};

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.registry.CreateKey();
    fake.registry.SetString(setting::kWordFilePath, "words.db");
    filter.Initialize();
    filter.Learn("cheap pills online pharmacy discount", "offer", 1);
    filter.Learn("meeting agenda minutes tomorrow project", "notes", 0);
    ASSERT_GT(filter.WordCount(), 0u);
  }

  // Runs the dialog with `script` and returns the view as the script left it.
  const testing::ScriptedDialogRunner::Run& Run(std::function<void(ScriptedDialogView&)> script) {
    fake.dialogs.Expect(dialog_id::kSettings, std::move(script));
    SettingsDialog dialog(filter, settings);
    fake.dialogs.RunModal(dialog);
    return fake.dialogs.runs.back();
  }

  std::uint32_t StoredDword(const char* name) {
    EXPECT_NE(fake.registry.Find(name), nullptr) << name << " was not written";
    return settings.ReadDword(name);
  }
  std::string StoredFolder() {
    std::string folder = "(absent)";
    settings.NotSpamFolderName(&folder);
    return folder;
  }
  std::string CountLine() {
    return "Total Words in Bayesian Database : " + std::to_string(filter.WordCount());
  }

  FakePlatform fake;
  SettingsStore settings{fake.registry};
  BayesianFilter filter{fake};
};

TEST_F(SettingsDialogTest, EachSettingTicksItsOwnBox) {
  for (const DwordBox& shown : kDwordBoxes) {
    for (const DwordBox& other : kDwordBoxes)
      fake.registry.SetDword(other.name, 0);
    fake.registry.SetDword(shown.name, 5);  // any non-zero value is on
    fake.registry.SetString(setting::kNotSpamFolderName, "Archive");
    const auto& run = Run([](ScriptedDialogView& v) { v.Close(); });
    for (int box : kAllBoxes)
      EXPECT_EQ(run.checks.at(box), box == shown.box) << shown.name << ", box " << box;
  }
}

TEST_F(SettingsDialogTest, OpeningShowsTheWordCount) {
  const auto& run = Run([](ScriptedDialogView& v) { v.Close(); });
  EXPECT_EQ(run.texts.at(D::kIdWordCount), CountLine());
  EXPECT_NE(CountLine(), "Total Words in Bayesian Database : 0");
}

TEST_F(SettingsDialogTest, WithoutTheKeyBoxesAreClearButAskFolderAndOkWritesNothing) {
  fake.registry.DeleteKey();
  const auto& run = Run([](ScriptedDialogView& v) { v.Click(kIdOkButton); });
  for (int box : kAllBoxes)
    EXPECT_EQ(run.checks.at(box), box == D::kIdAskFolder) << "box " << box;
  EXPECT_EQ(run.result, kIdOkButton);
  EXPECT_EQ(fake.registry.writes(), 0);
  EXPECT_FALSE(fake.registry.key_exists());
}

TEST_F(SettingsDialogTest, OkWritesAllEightValuesInOrder) {
  fake.registry.SetDword(setting::kBeepAtSpam, 7);
  const auto& run = Run([](ScriptedDialogView& v) {
    v.Tick(D::kIdNonEnglish, true);
    v.Tick(D::kIdBeep, false);
    v.Tick(D::kIdLearnWhite, true);
    v.Click(kIdOkButton);
  });
  EXPECT_EQ(run.result, kIdOkButton);
  EXPECT_EQ(
      fake.registry.written(),
      (std::vector<std::string>{setting::kBeepAtSpam, setting::kConsiderNonEnglishSpam,
                                setting::kLearnFromMarkSpam, setting::kLearnFromNotSpam,
                                setting::kMarkReadBeforeMoving, setting::kLearnFromBlackListed,
                                setting::kLearnFromWhiteListed, setting::kNotSpamFolderName}));
  EXPECT_EQ(StoredDword(setting::kBeepAtSpam), 0u);
  EXPECT_EQ(StoredDword(setting::kConsiderNonEnglishSpam), 1u);
  EXPECT_EQ(StoredDword(setting::kLearnFromWhiteListed), 1u);
  EXPECT_EQ(StoredDword(setting::kMarkReadBeforeMoving), 0u);
  EXPECT_EQ(fake.registry.Find(setting::kLearnFromWhiteListed)->type, RegistryType::kDword);
}

TEST_F(SettingsDialogTest, FolderBoxStoresEmptyOrInbox) {
  struct Case {
    const char* what;
    const char* stored;  // null: absent
    bool tick;           // the box's state when OK is pressed
    bool shown_ticked;
    std::string saved;
  };
  const Case cases[] = {
      {"chosen folder, unchanged", "Archive", false, false, "Inbox"},
      {"chosen folder, box ticked", "Archive", true, false, ""},
      {"absent, unchanged", nullptr, true, true, ""},
      {"empty, box cleared", "", false, true, "Inbox"},
  };
  for (const Case& c : cases) {
    fake.registry.DeleteKey();
    fake.registry.CreateKey();
    if (c.stored != nullptr)
      fake.registry.SetString(setting::kNotSpamFolderName, c.stored);
    const auto& run = Run([&](ScriptedDialogView& v) {
      EXPECT_EQ(v.checks[D::kIdAskFolder], c.shown_ticked) << c.what;
      v.Tick(D::kIdAskFolder, c.tick);
      v.Click(kIdOkButton);
    });
    EXPECT_EQ(run.result, kIdOkButton) << c.what;
    EXPECT_EQ(StoredFolder(), c.saved) << c.what;
  }
}

TEST_F(SettingsDialogTest, SecondJudgeIsWrittenOnlyWhenItsBoxChanged) {
  struct Case {
    const char* what;
    int stored;  // -1: absent
    bool tick;   // the box's state when OK is pressed
    int saved;   // -1: absent
    bool written;
  };
  const Case cases[] = {
      {"absent, untouched", -1, false, -1, false}, {"absent, ticked", -1, true, 1, true},
      {"on, untouched", 3, true, 3, false},        {"on, cleared", 3, false, 0, true},
      {"off, untouched", 0, false, 0, false},      {"off, ticked", 0, true, 1, true},
  };
  for (const Case& c : cases) {
    fake.registry.DeleteKey();
    fake.registry.CreateKey();
    if (c.stored >= 0)
      fake.registry.SetDword(setting::kSecondJudge, static_cast<std::uint32_t>(c.stored));
    const std::size_t before = fake.registry.written().size();
    Run([&](ScriptedDialogView& v) {
      v.Tick(D::kIdSecondJudge, c.tick);
      v.Click(kIdOkButton);
    });
    const std::vector<std::string>& written = fake.registry.written();
    EXPECT_EQ(std::count(written.begin() + static_cast<std::ptrdiff_t>(before), written.end(),
                         setting::kSecondJudge),
              c.written ? 1 : 0)
        << c.what;
    EXPECT_EQ(fake.registry.Find(setting::kSecondJudge) != nullptr, c.saved >= 0) << c.what;
    if (c.saved >= 0) {
      EXPECT_EQ(settings.SecondJudge(), static_cast<std::uint32_t>(c.saved)) << c.what;
    }
  }
}

TEST_F(SettingsDialogTest, CancelWritesNothing) {
  const auto& run = Run([](ScriptedDialogView& v) {
    v.Tick(D::kIdBeep, true);
    v.Tick(D::kIdAskFolder, false);
    v.Click(kIdCancelButton);
  });
  EXPECT_EQ(run.result, kIdCancelButton);
  EXPECT_EQ(fake.registry.writes(), 0);
}

TEST_F(SettingsDialogTest, EmptyYesThenCancelKeepsTheTableEmptyAndWritesNoSetting) {
  const int registry_writes = fake.registry.writes();
  const auto& run = Run([](ScriptedDialogView& v) {
    v.answers.push_back(kIdYes);
    v.Click(D::kIdEmpty);
    v.Click(kIdCancelButton);
  });
  ASSERT_EQ(run.messages.size(), 2u);
  EXPECT_EQ(run.messages[0].text, "Are you sure you want to empty the Database?");
  EXPECT_EQ(run.messages[0].caption, "Varnox");
  EXPECT_EQ(run.messages[0].flags, kMbYesNo);
  EXPECT_EQ(run.messages[1].text, "Database Empty");
  EXPECT_EQ(run.messages[1].caption, "");
  EXPECT_EQ(run.messages[1].flags, kMbOk);
  EXPECT_EQ(run.texts.at(D::kIdWordCount), "Total Words in Bayesian Database : 0");
  EXPECT_EQ(filter.WordCount(), 0u);
  EXPECT_EQ(run.result, kIdCancelButton);
  EXPECT_EQ(fake.registry.writes(), registry_writes);
  // Emptied on disk at once: a fresh filter reads no word back.
  BayesianFilter reread(fake);
  reread.Initialize();
  EXPECT_EQ(reread.WordCount(), 0u);
}

TEST_F(SettingsDialogTest, AnsweringNoChangesNothing) {
  const std::size_t words = filter.WordCount();
  const std::string line = CountLine();
  const auto& run = Run([](ScriptedDialogView& v) {
    v.answers.push_back(kIdNo);
    v.Click(D::kIdEmpty);
    v.Close();
  });
  EXPECT_EQ(run.messages.size(), 1u) << "the question only";
  EXPECT_EQ(filter.WordCount(), words);
  EXPECT_EQ(run.texts.at(D::kIdWordCount), line);
}

}  // namespace
}  // namespace varnox
