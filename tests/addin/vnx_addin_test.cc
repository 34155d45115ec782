// The add-in object's life over the fake host: construction, start-up
// (folders watched, spam folder found or made, failure messages), the
// folder-added event, disconnection, and teardown with the database saved.
#include "addin/vnx_addin.h"

#include <gtest/gtest.h>

#include "addin/toolbar.h"
#include "platform/module_lock.h"
#include "tests/addin/addin_world.h"

namespace varnox {
namespace {

using testing::AddinWorld;
using testing::FakeFolder;
using testing::FakeHost;
using testing::FakeItem;

const std::string kSam = "From: Sam <sam@example.com>\r\n";

// The names of the folders of `parent` that have an ItemAdd subscription.
std::vector<std::string> Watched(const FakeFolder& parent) {
  std::vector<std::string> names;
  for (const FakeFolder* folder : parent.folders())
    if (!folder->item_add_subscriptions().empty())
      names.push_back(folder->name);
  return names;
}

// The spam folder the add-in holds, as a fake folder.
FakeFolder* SpamFolderOf(AddinWorld& world) {
  return world.addin->spamFolder == nullptr ? nullptr
                                            : world.host.FolderOf(*world.addin->spamFolder);
}

TEST(CVNXAddin, LoadsBothListsAndHoldsALockCountForItsLife) {
  AddinWorld world;
  world.fakes.files.files["black.xml"] =
      "<L><MailID Name=\"b@x.example\"/><Domain Name=\"@y\"/></L>";
  world.fakes.files.files["white.xml"] = "<L><MailID Name=\"w@x.example\"/></L>";
  const long before = ModuleLockCount();
  {
    CVNXAddin addin(world.platform);
    EXPECT_EQ(ModuleLockCount(), before + 1);
    EXPECT_EQ(addin.blackList.addresses(), std::vector<std::string>{"b@x.example"});
    EXPECT_EQ(addin.blackList.domains(), std::vector<std::string>{"@y"});
    EXPECT_EQ(addin.whiteList.addresses(), std::vector<std::string>{"w@x.example"});
    // Copies left by killed saves go before the lists are read.
    EXPECT_EQ(world.fakes.files.cleaned, (std::vector<std::string>{"black.xml", "white.xml"}));
    EXPECT_EQ(addin.spamFolder, nullptr);
    EXPECT_TRUE(addin.folderSinks.empty());
    EXPECT_FALSE(addin.connected());
    for (std::size_t i = 0; i < addin.buttonSinks.size(); ++i)
      EXPECT_EQ(addin.buttonSinks[i].identity, static_cast<int>(i) + 1);
  }
  EXPECT_EQ(ModuleLockCount(), before);
  EXPECT_TRUE(world.host.calls().empty()) << "construction touches no host object";
}

TEST(CVNXAddinStartup, WatchesTopLevelMailFoldersAndCreatesTheSpamFolder) {
  AddinWorld world;
  FakeFolder& below = world.inbox.AddFolder("Below the top level");
  CVNXAddin& addin = world.Connected();

  FakeFolder* spam = world.store.Find("SpamFilter");
  ASSERT_NE(spam, nullptr);
  EXPECT_EQ(SpamFolderOf(world), spam);
  EXPECT_EQ(spam->description, "Folder Created by Varnox, All Spam mails come here by default");
  ASSERT_EQ(world.host.shortcuts().size(), 1u);
  EXPECT_EQ(world.host.shortcuts()[0].target, spam);
  EXPECT_EQ(world.host.shortcuts()[0].name, "SpamFilter");
  EXPECT_EQ(world.host.shortcuts()[0].index, 1);
  ASSERT_EQ(world.host.CallsTo("Folders.Add").size(), 1u);
  EXPECT_EQ(world.host.CallsTo("Folders.Add")[0].detail, "\"SpamFilter\" 6");

  // Inbox and Sent Items; not Drafts, Outbox, Deleted Items, the calendar,
  // contacts, journal, notes, tasks, nor anything below the top level.
  EXPECT_EQ(Watched(world.store), (std::vector<std::string>{"Inbox", "Sent Items"}));
  EXPECT_TRUE(below.item_add_subscriptions().empty());
  EXPECT_EQ(addin.folderSinks.size(), 2u);
  EXPECT_EQ(world.store.folder_add_subscriptions().size(), 1u);
  EXPECT_NE(world.host.FindBar("Varnox"), nullptr);
  EXPECT_TRUE(world.fakes.ui.messages.empty());
  EXPECT_TRUE(addin.connected());
  EXPECT_EQ(world.fakes.files.files.count(testing::kWordFile), 1u) << "engine initialised";
}

TEST(CVNXAddinStartup, SkipsFoldersByUpperCasedNameInAnyLetterCase) {
  AddinWorld world;
  FakeHost& host = world.host;
  FakeFolder& store = host.AddStore("Archive");
  store.AddFolder("drafts");
  store.AddFolder("OutBox");
  store.AddFolder("deleted ITEMS");
  store.AddFolder("Deleted Items 2");
  store.AddFolder("Brouillons \xE9t\xE9");  // e acute: upper-cased in code page 1252
  FakeFolder& odd_spam = store.AddFolder("sPaMfIlTeR");
  world.Connected();

  EXPECT_EQ(Watched(store), (std::vector<std::string>{"Deleted Items 2", "Brouillons \xE9t\xE9"}));
  EXPECT_EQ(SpamFolderOf(world), &odd_spam) << "the last store's match wins";
}

TEST(CVNXAddinStartup, SpamFolderInAnyCaseIsTakenNotWatchedAndNothingIsCreated) {
  AddinWorld world;
  FakeFolder& spam = world.store.AddFolder("spamFILTER");
  world.Connected();

  EXPECT_EQ(SpamFolderOf(world), &spam);
  EXPECT_TRUE(spam.item_add_subscriptions().empty());
  EXPECT_EQ(world.host.CountCalls("Folders.Add"), 0);
  EXPECT_TRUE(world.host.shortcuts().empty());
  EXPECT_EQ(spam.description, "");
}

TEST(CVNXAddinStartup, SpamFolderOnlyInSecondStoreIsCreatedInFirstAndSecondWins) {
  AddinWorld world;
  FakeFolder& second = world.host.AddStore("Second");
  second.AddFolder("Inbox");
  FakeFolder& second_spam = second.AddFolder("SpamFilter");
  CVNXAddin& addin = world.Connected();

  FakeFolder* created = world.store.Find("SpamFilter");
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->description, "Folder Created by Varnox, All Spam mails come here by default");
  ASSERT_EQ(world.host.shortcuts().size(), 1u);
  EXPECT_EQ(world.host.shortcuts()[0].target, created);
  EXPECT_EQ(SpamFolderOf(world), &second_spam);
  EXPECT_EQ(Watched(second), std::vector<std::string>{"Inbox"});
  EXPECT_EQ(second.folder_add_subscriptions().size(), 1u);
  // topFolders is the last store's top level.
  std::unique_ptr<host::Folder> first;
  ASSERT_EQ(addin.topFolders->GetFirst(&first), kSOk);
  EXPECT_EQ(world.host.FolderOf(*first), second.Find("Inbox"));
}

TEST(CVNXAddinStartup, FolderWhoseNameOrTypeCannotBeReadIsNotWatched) {
  AddinWorld world;
  FakeFolder& nameless = world.store.AddFolder("Nameless");
  FakeFolder& typeless = world.store.AddFolder("Typeless");
  world.host.Fail("Folder.Name", kEFail, &nameless);
  world.host.Fail("Folder.DefaultItemType", kEFail, &typeless);
  world.Connected();
  EXPECT_EQ(Watched(world.store), (std::vector<std::string>{"Inbox", "Sent Items"}));
}

// One start-up failure: what fails, the message shown, what stays set up.
struct StartupFailure {
  const char* name;
  const char* op;
  const char* text;
  bool inbox_watched;
};

class StartupFailureTest : public ::testing::TestWithParam<StartupFailure> {};

TEST_P(StartupFailureTest, ShowsOneMessageReturnsTheStatusAndBuildsNoToolbar) {
  const StartupFailure& c = GetParam();
  AddinWorld world;
  constexpr HResult kStatus = static_cast<HResult>(0x80040119u);
  world.host.Fail(c.op, kStatus);
  CVNXAddin& addin = world.Addin();

  EXPECT_EQ(addin.OnConnection(world.host.ApplicationRef()), kStatus);

  ASSERT_EQ(world.fakes.ui.messages.size(), 1u);
  EXPECT_EQ(world.fakes.ui.messages[0].text, c.text);
  EXPECT_EQ(world.fakes.ui.messages[0].caption, "OUTLOOK");
  EXPECT_EQ(world.fakes.ui.messages[0].flags, kMbOk);
  EXPECT_EQ(world.host.CountCalls("Explorer.CommandBars"), 0);
  EXPECT_EQ(world.host.FindBar("Varnox"), nullptr);
  EXPECT_EQ(world.inbox.item_add_subscriptions().size(), c.inbox_watched ? 1u : 0u)
      << "nothing already done is undone";
  EXPECT_EQ(world.fakes.files.files.count(testing::kWordFile), 1u) << "engine initialised";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StartupFailureTest,
    ::testing::Values(
        StartupFailure{"Session", "Application.Session",
                       "CVNXAddin::InitMAPI FATAL ERROR FAILED TO RETRIEVE m_NameSpace", false},
        StartupFailure{"RootFolders", "NameSpace.Folders",
                       "CAddin::InitMAPI FATAL ERROR FAILED TO RETRIEVE m_RootFolders", false},
        StartupFailure{"SpamFolder", "Folders.Add",
                       "CVNXAddin::InitMAPI FATAL ERROR FAILED TO Create Spam Folder", true}),
    [](const ::testing::TestParamInfo<StartupFailure>& info) { return info.param.name; });

TEST(CVNXAddinStartup, CommandBarsFailureIsReturnedWithoutMessageAfterFoldersAreWatched) {
  AddinWorld world;
  world.host.Fail("Explorer.CommandBars", kEAccessDenied);
  EXPECT_EQ(world.Addin().OnConnection(world.host.ApplicationRef()), kEAccessDenied);
  EXPECT_TRUE(world.fakes.ui.messages.empty());
  EXPECT_EQ(Watched(world.store), (std::vector<std::string>{"Inbox", "Sent Items"}));
}

TEST(CVNXAddinStartup, NoApplicationGivesPointerFailureAfterInitialisingTheEngine) {
  AddinWorld world;
  EXPECT_EQ(world.Addin().OnConnection(nullptr), kEPointer);
  EXPECT_EQ(world.fakes.files.files.count(testing::kWordFile), 1u);
  EXPECT_TRUE(world.host.calls().empty());
}

// A host without an explorer window (started for another program): mail is
// watched and judged, there is no toolbar and no shortcut, and start-up
// succeeds so that the host keeps the add-in loaded.
TEST(CVNXAddinStartup, WithoutExplorerMailIsStillJudgedAndThereIsNoToolbar) {
  for (bool explorer_fails : {false, true}) {
    SCOPED_TRACE(explorer_fails);
    AddinWorld world;
    if (explorer_fails)
      world.host.Fail("Application.ActiveExplorer", kEFail);
    else
      world.host.has_explorer = false;
    world.fakes.files.files["black.xml"] = testing::ListFileWithAddresses({"sam@example.com"});
    world.Connected();

    EXPECT_TRUE(world.host.command_bars().empty());
    EXPECT_TRUE(world.host.shortcuts().empty());
    FakeFolder* spam = world.store.Find("SpamFilter");
    ASSERT_NE(spam, nullptr);
    FakeItem& mail = world.host.DeliverMail(world.inbox, kSam, "body", "subject");
    EXPECT_EQ(mail.folder(), spam);
    EXPECT_EQ(mail.headers(), kSam + "sam@example.com is in BlackList");
  }
}

// What a shell hears of the pipeline on the watched folders, in order.
class HeardItems final : public NewItemObserver {
 public:
  void BeforeJudging() override { heard.push_back("before"); }
  void BeforeSpamMove() override { heard.push_back("spam move due"); }
  void AfterJudging(std::string_view folder, const NewItemOutcome& outcome) override {
    using Decided = NewItemOutcome::Decided;
    using PassedOver = NewItemOutcome::PassedOver;
    std::string what = outcome.decidedBy == Decided::kBlackList            ? "black list"
                       : outcome.decidedBy == Decided::kFilter             ? "filter"
                       : outcome.passedOver == PassedOver::kNotMail        ? "not mail"
                       : outcome.passedOver == PassedOver::kNotSpamArrival ? "Not Spam's arrival"
                                                                           : "?";
    heard.push_back(std::string(folder) + ": " + what + (outcome.moved ? ", moved" : ""));
  }
  std::vector<std::string> heard;
};

TEST(CVNXAddin, AnObserverHearsEachItemOfAWatchedFolderAroundThePipeline) {
  AddinWorld world;
  world.fakes.files.files["black.xml"] = testing::ListFileWithAddresses({"sam@example.com"});
  world.fakes.registry.SetString(setting::kNotSpamFolderName, "Inbox");
  CVNXAddin& addin = world.Connected();
  world.host.DeliverPendingEvents();
  HeardItems observer;
  addin.newItemObserver = &observer;

  world.host.DeliverMail(world.inbox, kSam, "body", "subject");
  world.host.DeliverMail(world.inbox, "From: Ann <ann@example.org>\r\n", "hello", "hi");
  world.host.FireItemAdd(world.inbox.AddOtherItem());
  FakeFolder* spam = SpamFolderOf(world);
  ASSERT_NE(spam, nullptr);
  world.host.selection = {spam->items().at(0)};
  world.host.current_folder = spam;
  RunButtonCommand(addin, 2);  // Not Spam: back to the Inbox
  world.host.DeliverPendingEvents();

  EXPECT_EQ(observer.heard,
            (std::vector<std::string>{"before", "spam move due", "Inbox: black list, moved",
                                      "before", "Inbox: filter", "before", "Inbox: not mail",
                                      "before", "Inbox: Not Spam's arrival"}));
  addin.newItemObserver = nullptr;
}

TEST(CVNXAddinFolderAdd, LaterMailFolderIsWatchedWhateverItsNameOthersAreNot) {
  AddinWorld world;
  CVNXAddin& addin = world.Connected();
  world.host.DeliverPendingEvents();
  const std::size_t before = addin.folderSinks.size();

  FakeFolder& drafts = world.store.AddFolder("Drafts");  // a second one, made later
  FakeFolder& contacts = world.store.AddFolder("More Contacts", 2);
  EXPECT_EQ(world.host.FireFolderAdd(drafts), 1);
  EXPECT_EQ(world.host.FireFolderAdd(contacts), 1);

  EXPECT_EQ(drafts.item_add_subscriptions().size(), 1u);
  EXPECT_TRUE(contacts.item_add_subscriptions().empty());
  EXPECT_EQ(addin.folderSinks.size(), before + 1);
}

// The spam folder that start-up made is announced by the host afterwards.
// Watching it would judge every message moved there and move it again,
// without end.
TEST(CVNXAddinFolderAdd, AnnouncedSpamFolderIsNeverWatched) {
  AddinWorld world;
  world.fakes.files.files["black.xml"] = testing::ListFileWithAddresses({"sam@example.com"});
  world.Connected();
  FakeFolder* spam = world.store.Find("SpamFilter");
  ASSERT_NE(spam, nullptr);
  EXPECT_EQ(world.host.DeliverPendingEvents(), 1) << "the FolderAdd of the new spam folder";
  EXPECT_TRUE(spam->item_add_subscriptions().empty());

  FakeItem& mail = world.host.DeliverMail(world.inbox, kSam, "body", "subject");
  EXPECT_EQ(mail.folder(), spam);
  EXPECT_EQ(world.host.DeliverPendingEvents(), 0) << "nobody listens in the spam folder";
  EXPECT_EQ(mail.moves, 1);
  EXPECT_EQ(mail.headers(), kSam + "sam@example.com is in BlackList");
}

TEST(CVNXAddin, InterfaceCallsThatDoNothingAnswerNotImplemented) {
  AddinWorld world;
  CVNXAddin& addin = world.Connected();
  world.host.ClearCalls();
  EXPECT_EQ(addin.OnAddInsUpdate(), kENotImpl);
  EXPECT_EQ(addin.OnStartupComplete(), kENotImpl);
  EXPECT_EQ(addin.OnBeginShutdown(), kENotImpl);
  EXPECT_TRUE(world.host.calls().empty());
  EXPECT_TRUE(addin.connected());
}

// The ops of the cancelling calls, in order, with their targets.
std::vector<std::string> Cancellations(const FakeHost& host) {
  std::vector<std::string> calls;
  for (const testing::FakeCall& call : host.calls())
    if (call.op.ends_with(".Unadvise"))
      calls.push_back(call.op + " " + call.target);
  return calls;
}

TEST(CVNXAddinDisconnection, CancelsEverySubscriptionInOrderAndLeavesTheToolbar) {
  AddinWorld world;
  FakeFolder& second = world.host.AddStore("Second");
  second.AddFolder("Inbox");
  CVNXAddin& addin = world.Connected();
  world.host.ClearCalls();

  EXPECT_EQ(addin.OnDisconnection(), kSOk);

  EXPECT_EQ(
      Cancellations(world.host),
      (std::vector<std::string>{
          "Button.Unadvise Mark Spam", "Button.Unadvise Not Spam", "Button.Unadvise BlackList",
          "Button.Unadvise WhiteList", "Button.Unadvise Train Filter",
          "Button.Unadvise Mail Header", "Button.Unadvise Settings", "Button.Unadvise Support",
          "Button.Unadvise Help", "Button.Unadvise About", "Folders.Unadvise Personal Folders",
          "Folders.Unadvise Second", "Items.Unadvise Inbox", "Items.Unadvise Sent Items",
          "Items.Unadvise Inbox"}));
  for (const testing::FakeCall& call : world.host.calls())
    EXPECT_EQ(call.result, kSOk) << call.ToString();
  EXPECT_EQ(world.host.LiveSubscriptions(), 0);
  EXPECT_TRUE(addin.folderSinks.empty());
  EXPECT_TRUE(addin.folderAddedSinks.empty());
  for (const ButtonClickSink& sink : addin.buttonSinks)
    EXPECT_EQ(sink.cookie, 0u);
  EXPECT_FALSE(addin.connected());
  ASSERT_NE(world.host.FindBar("Varnox"), nullptr);
  EXPECT_TRUE(world.host.FindBar("Varnox")->visible) << "the toolbar stays until the host closes";
  EXPECT_NE(addin.spamFolder, nullptr) << "host references are held until destruction";
}

TEST(CVNXAddinDisconnection, AfterItNewMailAndNewFoldersRunNothing) {
  AddinWorld world;
  CVNXAddin& addin = world.Connected();
  addin.OnDisconnection();
  world.host.ClearCalls();

  FakeItem& mail = world.host.DeliverMail(world.inbox, kSam, "body", "subject");
  FakeFolder& added = world.store.AddFolder("Later");
  world.host.FireFolderAdd(added);

  EXPECT_EQ(mail.headers(), kSam);
  EXPECT_EQ(mail.property_reads, 0);
  EXPECT_TRUE(added.item_add_subscriptions().empty());
  EXPECT_TRUE(world.host.calls().empty());
}

// A host that refuses to cancel keeps calling; the sinks it still holds
// must stay alive and do nothing (the sanitizer build checks the former).
TEST(CVNXAddinDisconnection, SinksTheHostKeepsStayAliveAndInert) {
  AddinWorld world;
  CVNXAddin& addin = world.Connected();
  world.host.Fail("Items.Unadvise", kEFail);
  world.host.Fail("Folders.Unadvise", kEFail);
  EXPECT_EQ(addin.OnDisconnection(), kSOk);
  world.host.ClearCalls();

  FakeItem& mail = world.host.DeliverMail(world.inbox, kSam, "body", "subject");
  FakeFolder& added = world.store.AddFolder("Later");
  EXPECT_EQ(world.host.FireFolderAdd(added), 1) << "the host still calls the folder-added sink";
  EXPECT_EQ(mail.headers(), kSam);
  EXPECT_TRUE(added.item_add_subscriptions().empty());
  EXPECT_EQ(world.host.CountCalls("Message.GetProp"), 0);
}

// Counts the host references alive when the word database is written.
class WatchingFileSystem final : public FileSystem {
 public:
  WatchingFileSystem(FileSystem& inner, const FakeHost& host) : inner_(inner), host_(host) {}
  bool ReadWholeFile(const std::string& path, std::string* contents) override {
    return inner_.ReadWholeFile(path, contents);
  }
  bool ReplaceWholeFile(const std::string& path, std::string_view contents) override {
    if (path == testing::kWordFile) {
      references_at_save.push_back(host_.LiveReferences());
      subscriptions_at_save.push_back(host_.LiveSubscriptions());
    }
    return inner_.ReplaceWholeFile(path, contents);
  }
  bool Exists(const std::string& path) override { return inner_.Exists(path); }

  std::vector<int> references_at_save;
  std::vector<int> subscriptions_at_save;

 private:
  FileSystem& inner_;
  const FakeHost& host_;
};

TEST(CVNXAddinTeardown, SavesTheDatabaseFirstThenReleasesEveryHostReference) {
  AddinWorld world;
  WatchingFileSystem files(world.fakes.files, world.host);
  const Platform platform{world.fakes.registry, world.fakes.clock,   files,          world.fakes.ui,
                          world.faces,          world.fakes.dialogs, world.fakes.xml};
  const long locks = ModuleLockCount();
  {
    CVNXAddin addin(platform);
    ASSERT_EQ(addin.OnConnection(world.host.ApplicationRef()), kSOk);
    addin.filter.Learn("remember these words", "subject", 1);
    addin.OnDisconnection();
    files.references_at_save.clear();  // the header-only file written at start
  }
  ASSERT_EQ(files.references_at_save.size(), 1u);
  EXPECT_GT(files.references_at_save[0], 0) << "host references are released after the save";
  EXPECT_EQ(world.host.LiveReferences(), 0);
  EXPECT_EQ(ModuleLockCount(), locks);

  // The next add-in starts with what was learned.
  CVNXAddin next(world.fakes.platform());
  next.filter.Initialize();
  EXPECT_EQ(next.filter.SpamMessages(), 1);
  EXPECT_GT(next.filter.WordCount(), 0u);
}

// A shell that destroys the object without OnDisconnection must not leave
// the host holding sinks that are gone.
TEST(CVNXAddinTeardown, DestructionWithoutDisconnectionCancelsSubscriptions) {
  AddinWorld world;
  world.Connected();
  EXPECT_GT(world.host.LiveSubscriptions(), 0);
  world.addin.reset();
  EXPECT_EQ(world.host.LiveSubscriptions(), 0);
  EXPECT_EQ(world.host.LiveReferences(), 0);
  FakeItem& mail = world.host.DeliverMail(world.inbox, kSam, "body", "subject");
  EXPECT_EQ(mail.headers(), kSam);
}

}  // namespace
}  // namespace varnox
