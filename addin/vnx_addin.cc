#include "addin/vnx_addin.h"

#include <exception>
#include <string>

#include "addin/toolbar.h"
#include "mail/process_new_item.h"
#include "mail/spam_move.h"
#include "platform/code_page.h"
#include "platform/user_interface.h"

namespace varnox {
namespace {

// Top-level folders that are never watched, by upper-cased name: outgoing
// and discarded mail is not the filter's business.
bool IsUnwatchedFolderName(std::string_view upper_name) {
  return upper_name == "DRAFTS" || upper_name == "OUTBOX" || upper_name == "DELETED ITEMS";
}

bool IsMailFolder(host::Folder& folder) {
  std::int32_t type = -1;
  return Succeeded(folder.DefaultItemType(&type)) && type == host::kOlMailItem;
}

}  // namespace

void FolderItemsSink::OnItemAdd(std::unique_ptr<host::Item> item) {
  if (addin == nullptr || item == nullptr)
    return;
  NewItemObserver* observer = addin->newItemObserver;
  if (observer == nullptr) {
    ProcessNewItem(*addin, *item);
    return;
  }
  observer->BeforeJudging();
  const NewItemOutcome outcome =
      ProcessNewItem(*addin, *item, [observer] { observer->BeforeSpamMove(); });
  std::string name;
  if (folder == nullptr || Failed(folder->Name(&name)))
    name = "?";
  observer->AfterJudging(name, outcome);
}

void ButtonClickSink::OnClick(outlook::CommandBarButton*, std::int16_t*) {
  // A leftover button of a disconnected add-in stays on the toolbar until
  // the host closes; it must do nothing, even if the host still calls.
  if (addin != nullptr && addin->connected())
    RunButtonCommand(*addin, identity);
}

void FolderAddedSink::OnFolderAdd(std::unique_ptr<host::Folder> folder) {
  if (addin != nullptr && addin->connected() && folder != nullptr)
    addin->OnFolderAdd(std::move(folder));
}

CVNXAddin::CVNXAddin(const Platform& platform_services)
    : platform(platform_services),
      settings(platform.registry),
      whiteList(ListKind::White, platform),
      blackList(ListKind::Black, platform),
      filter(platform) {
  for (std::size_t i = 0; i < buttonSinks.size(); ++i) {
    buttonSinks[i].identity = static_cast<int>(i) + 1;
    buttonSinks[i].addin = this;
  }
  folderAddedSink.addin = this;
  // Copies that saves killed in an earlier run left beside the list files.
  for (const SenderList* list : {&blackList, &whiteList}) {
    if (const std::string path = list->FilePath(); !path.empty())
      platform.files.RemoveAbandonedCopies(path);
  }
  blackList.Load();
  whiteList.Load();
}

CVNXAddin::~CVNXAddin() {
  CancelSubscriptions();
}

HResult CVNXAddin::OnConnection(std::unique_ptr<host::Application> app) {
  connected_ = true;
  filter.Initialize();
  application = std::move(app);
  if (application == nullptr)
    return kEPointer;
  try {
    if (const HResult hr = InitMAPI(); Failed(hr))
      return hr;
    return BuildToolbarOnActiveExplorer();
  } catch (const std::exception&) {
    // Out of memory while walking a huge store: what was set up stays.
    return kEOutOfMemory;
  }
}

HResult CVNXAddin::ShowStartupFailure(std::string_view text, HResult status) {
  platform.ui.ShowMessage(text, kStartupFailureCaption, kMbOk);
  return status;
}

HResult CVNXAddin::InitMAPI() {
  HResult hr = application->Session(&m_NameSpace);
  if (Succeeded(hr) && m_NameSpace == nullptr)
    hr = kEPointer;
  if (Failed(hr))
    return ShowStartupFailure(kNameSpaceFailureText, hr);

  hr = m_NameSpace->GetFolders(&m_RootFolders);
  if (Succeeded(hr) && m_RootFolders == nullptr)
    hr = kEPointer;
  if (Failed(hr))
    return ShowStartupFailure(kRootFoldersFailureText, hr);

  std::unique_ptr<host::Folder> root;
  for (HResult step = m_RootFolders->GetFirst(&root); Succeeded(step) && root != nullptr;
       step = m_RootFolders->GetNext(&root)) {
    if (hr = ScanStore(*root); Failed(hr))
      return hr;
  }
  return kSOk;
}

HResult CVNXAddin::ScanStore(host::Folder& root) {
  std::unique_ptr<host::Folders> folders;
  if (Failed(root.GetFolders(&folders)) || folders == nullptr)
    return kSOk;  // a store whose top level cannot be read is passed over
  SubscribeFolderAdded(root);
  topFolders = std::move(folders);

  std::unique_ptr<host::Folder> folder;
  for (HResult step = topFolders->GetFirst(&folder); Succeeded(step) && folder != nullptr;
       step = topFolders->GetNext(&folder)) {
    TakeTopLevelFolder(std::move(folder));
  }
  if (spamFolder == nullptr)
    return CreateSpamFolder();
  return kSOk;
}

// The subscription holds a reference of its own to the collection, since
// topFolders moves on to the next store.
void CVNXAddin::SubscribeFolderAdded(host::Folder& root) {
  FolderAddedSubscription subscription;
  if (Failed(root.GetFolders(&subscription.folders)) || subscription.folders == nullptr)
    return;
  if (Failed(subscription.folders->Advise(&folderAddedSink, &subscription.cookie)))
    return;
  folderAddedSinks.push_back(std::move(subscription));
}

void CVNXAddin::TakeTopLevelFolder(std::unique_ptr<host::Folder> folder) {
  std::string name;
  // A folder that cannot tell its name might be Drafts or Outbox: left alone.
  if (Failed(folder->Name(&name)))
    return;
  code_page::UpperInPlace(name);
  if (IsSpamFolderName(name)) {
    spamFolder = std::move(folder);
    return;
  }
  if (IsUnwatchedFolderName(name) || !IsMailFolder(*folder))
    return;
  WatchFolder(std::move(folder));
}

HResult CVNXAddin::CreateSpamFolder() {
  HResult hr = topFolders->Add(kSpamFolderName, host::kOlFolderInbox, &spamFolder);
  if (Succeeded(hr) && spamFolder == nullptr)
    hr = kEPointer;
  if (Failed(hr))
    return ShowStartupFailure(kSpamFolderFailureText, hr);
  spamFolder->SetDescription(kSpamFolderDescription);
  AddSpamFolderShortcut();
  return kSOk;
}

// A convenience for the user; nothing depends on it, so every failure on
// the way (no explorer, no Outlook Bar) is passed over.
void CVNXAddin::AddSpamFolderShortcut() {
  std::unique_ptr<outlook::Explorer> explorer = ActiveExplorer();
  if (explorer == nullptr)
    return;
  std::unique_ptr<outlook::OutlookBarShortcuts> shortcuts;
  if (Failed(explorer->OutlookBarShortcuts(&shortcuts)) || shortcuts == nullptr)
    return;
  shortcuts->Add(*spamFolder, kSpamFolderName, 1);
}

std::unique_ptr<outlook::Explorer> CVNXAddin::ActiveExplorer() {
  auto* windows = dynamic_cast<outlook::Application*>(application.get());
  std::unique_ptr<outlook::Explorer> explorer;
  if (windows == nullptr || Failed(windows->ActiveExplorer(&explorer)))
    return nullptr;
  return explorer;
}

HResult CVNXAddin::BuildToolbarOnActiveExplorer() {
  // A host running without a window (started for another program, say), or
  // a store that has none, still gets its mail judged; it just has no
  // toolbar to show.
  std::unique_ptr<outlook::Explorer> explorer = ActiveExplorer();
  if (explorer == nullptr)
    return kSOk;
  std::unique_ptr<outlook::CommandBars> bars;
  HResult hr = explorer->GetCommandBars(&bars);
  if (Succeeded(hr) && bars == nullptr)
    hr = kEPointer;
  if (Failed(hr))
    return hr;
  BuildToolbar(*this, *bars);
  return kSOk;
}

void CVNXAddin::WatchFolder(std::unique_ptr<host::Folder> folder) {
  if (folder == nullptr)
    return;
  if (spamFolder != nullptr && folder->IsSameFolder(*spamFolder))
    return;
  auto sink = std::make_unique<FolderItemsSink>();
  sink->folder = std::move(folder);
  sink->addin = this;
  if (Succeeded(sink->folder->GetItems(&sink->items)) && sink->items != nullptr &&
      Failed(sink->items->Advise(sink.get(), &sink->cookie))) {
    sink->cookie = 0;
  }
  folderSinks.push_back(std::move(sink));
}

void CVNXAddin::OnFolderAdd(std::unique_ptr<host::Folder> folder) {
  try {
    if (IsMailFolder(*folder))
      WatchFolder(std::move(folder));
  } catch (const std::exception&) {
    // Out of memory: the folder is not watched; nothing may reach the host.
  }
}

HResult CVNXAddin::OnDisconnection() {
  CancelSubscriptions();
  connected_ = false;
  return kSOk;
}

void CVNXAddin::CancelSubscriptions() {
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    ButtonClickSink& sink = buttonSinks[i];
    if (buttons[i] != nullptr && sink.cookie != 0)
      buttons[i]->Unadvise(sink.cookie);
    sink.cookie = 0;
  }

  for (FolderAddedSubscription& subscription : folderAddedSinks)
    subscription.folders->Unadvise(subscription.cookie);
  folderAddedSinks.clear();

  for (std::unique_ptr<FolderItemsSink>& sink : folderSinks) {
    const bool cancelled = sink->cookie == 0 || Succeeded(sink->items->Unadvise(sink->cookie));
    sink->items.reset();
    sink->folder.reset();
    sink->addin = nullptr;
    if (!cancelled)
      retiredSinks_.push_back(std::move(sink));
  }
  folderSinks.clear();
}

}  // namespace varnox
