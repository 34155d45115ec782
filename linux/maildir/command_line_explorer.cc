// The application side of the Maildir host: the namespace of stores, and an
// explorer for the command line whose selection is a list of message files,
// whose current folder is theirs, and whose command bars are kept in memory
// so that a command can click a toolbar button by its caption.
#include <algorithm>

#include "linux/maildir/maildir_objects.h"

namespace varnox::maildir {
namespace {

class Popup;

class Controls final : public host::CommandBarControls {
 public:
  Controls(std::shared_ptr<HostState> state, std::vector<std::shared_ptr<ToolbarControl>>* controls,
           std::shared_ptr<void> owner)
      : state_(std::move(state)), controls_(controls), owner_(std::move(owner)) {}

  HResult Add(std::int32_t type, bool /*temporary*/,
              std::unique_ptr<host::CommandBarControl>* control) override {
    auto added = std::make_shared<ToolbarControl>();
    added->type = type;
    controls_->push_back(added);
    *control = MakeControl(state_, std::move(added));
    return kSOk;
  }

 private:
  std::shared_ptr<HostState> state_;
  std::vector<std::shared_ptr<ToolbarControl>>* controls_;
  std::shared_ptr<void> owner_;  // keeps *controls_ alive
};

// One class answers as control, pop-up and button; what it is asked to be
// is checked against the control's type.
class Control final : public host::CommandBarButton {
 public:
  Control(std::shared_ptr<HostState> state, std::shared_ptr<ToolbarControl> control)
      : state_(std::move(state)), control_(std::move(control)) {}

  HResult SetCaption(std::string_view v) override { return Set(&ToolbarControl::caption, v); }
  HResult SetDescriptionText(std::string_view v) override {
    return Set(&ToolbarControl::description_text, v);
  }
  HResult SetTooltipText(std::string_view v) override {
    return Set(&ToolbarControl::tooltip_text, v);
  }
  HResult SetTag(std::string_view v) override { return Set(&ToolbarControl::tag, v); }
  HResult SetVisible(bool v) override { return SetFlag(&ToolbarControl::visible, v); }
  HResult SetEnabled(bool v) override { return SetFlag(&ToolbarControl::enabled, v); }
  HResult SetBeginGroup(bool v) override { return SetFlag(&ToolbarControl::begin_group, v); }

  HResult QueryButton(std::unique_ptr<host::CommandBarButton>* button) override {
    button->reset();
    if (control_->type != host::kMsoControlButton)
      return kENoInterface;
    *button = std::make_unique<Control>(state_, control_);
    return kSOk;
  }
  HResult QueryPopup(std::unique_ptr<host::CommandBarPopup>* popup) override;

  HResult SetStyle(std::int32_t style) override {
    control_->style = style;
    return kSOk;
  }
  // The command line draws no pictures.
  HResult SetPicture(const ButtonFace&) override { return kSOk; }
  HResult PasteFace() override { return kSOk; }

  HResult Advise(host::ButtonEventSink* sink, host::Cookie* cookie) override {
    if (sink == nullptr || cookie == nullptr)
      return kEPointer;
    *cookie = state_->next_cookie++;
    control_->click_sinks.push_back({*cookie, sink});
    return kSOk;
  }
  HResult Unadvise(host::Cookie cookie) override {
    return Cancel(control_->click_sinks, cookie, [](const auto&) {});
  }

 private:
  HResult Set(std::string ToolbarControl::*field, std::string_view value) {
    (*control_).*field = std::string(value);
    return kSOk;
  }
  HResult SetFlag(bool ToolbarControl::*field, bool value) {
    (*control_).*field = value;
    return kSOk;
  }

  std::shared_ptr<HostState> state_;
  std::shared_ptr<ToolbarControl> control_;
};

class Popup final : public host::CommandBarPopup {
 public:
  Popup(std::shared_ptr<HostState> state, std::shared_ptr<ToolbarControl> control)
      : inner_(state, control), state_(std::move(state)), control_(std::move(control)) {}
  HResult SetCaption(std::string_view v) override { return inner_.SetCaption(v); }
  HResult SetDescriptionText(std::string_view v) override { return inner_.SetDescriptionText(v); }
  HResult SetVisible(bool v) override { return inner_.SetVisible(v); }
  HResult SetEnabled(bool v) override { return inner_.SetEnabled(v); }
  HResult SetTooltipText(std::string_view v) override { return inner_.SetTooltipText(v); }
  HResult SetTag(std::string_view v) override { return inner_.SetTag(v); }
  HResult SetBeginGroup(bool v) override { return inner_.SetBeginGroup(v); }
  HResult QueryButton(std::unique_ptr<host::CommandBarButton>* b) override {
    return inner_.QueryButton(b);
  }
  HResult QueryPopup(std::unique_ptr<host::CommandBarPopup>* p) override {
    return inner_.QueryPopup(p);
  }
  HResult GetControls(std::unique_ptr<host::CommandBarControls>* controls) override {
    *controls = std::make_unique<Controls>(state_, &control_->controls, control_);
    return kSOk;
  }

 private:
  Control inner_;
  std::shared_ptr<HostState> state_;
  std::shared_ptr<ToolbarControl> control_;
};

HResult Control::QueryPopup(std::unique_ptr<host::CommandBarPopup>* popup) {
  popup->reset();
  if (control_->type != host::kMsoControlPopup)
    return kENoInterface;
  *popup = std::make_unique<Popup>(state_, control_);
  return kSOk;
}

class Bar final : public host::CommandBar {
 public:
  Bar(std::shared_ptr<HostState> state, std::shared_ptr<ToolbarBar> bar)
      : state_(std::move(state)), bar_(std::move(bar)) {}
  HResult GetControls(std::unique_ptr<host::CommandBarControls>* controls) override {
    *controls = std::make_unique<Controls>(state_, &bar_->controls, bar_);
    return kSOk;
  }
  HResult SetVisible(bool visible) override {
    bar_->visible = visible;
    return kSOk;
  }

 private:
  std::shared_ptr<HostState> state_;
  std::shared_ptr<ToolbarBar> bar_;
};

class Bars final : public host::CommandBars {
 public:
  explicit Bars(std::shared_ptr<HostState> state) : state_(std::move(state)) {}
  HResult Add(std::string_view name, std::int32_t position, bool temporary,
              std::unique_ptr<host::CommandBar>* bar) override {
    auto added = std::make_shared<ToolbarBar>();
    added->name = std::string(name);
    added->position = position;
    added->temporary = temporary;
    state_->bars.push_back(added);
    *bar = std::make_unique<Bar>(state_, std::move(added));
    return kSOk;
  }

 private:
  std::shared_ptr<HostState> state_;
};

class CommandLineSelection final : public host::Selection {
 public:
  explicit CommandLineSelection(std::shared_ptr<HostState> state) : state_(std::move(state)) {}
  HResult Class(std::int32_t* object_class) override {
    *object_class = host::kOlSelection;
    return kSOk;
  }
  HResult Count(std::int32_t* count) override {
    *count = static_cast<std::int32_t>(state_->selection.size());
    return kSOk;
  }
  HResult GetItem(std::int32_t index, std::unique_ptr<host::Item>* item) override {
    item->reset();
    if (index < 1 || static_cast<std::size_t>(index) > state_->selection.size())
      return kEInvalidArg;
    // Each request is a reference of its own to the selected message.
    *item = MakeItem(std::make_shared<ItemLocation>(state_->selection[index - 1]));
    return kSOk;
  }

 private:
  std::shared_ptr<HostState> state_;
};

class CommandLineExplorer final : public host::Explorer {
 public:
  explicit CommandLineExplorer(std::shared_ptr<HostState> state) : state_(std::move(state)) {}
  HResult GetCommandBars(std::unique_ptr<host::CommandBars>* bars) override {
    *bars = std::make_unique<Bars>(state_);
    return kSOk;
  }
  HResult GetSelection(std::unique_ptr<host::Selection>* selection) override {
    *selection = std::make_unique<CommandLineSelection>(state_);
    return kSOk;
  }
  HResult CurrentFolder(std::unique_ptr<host::Folder>* folder) override {
    folder->reset();
    if (state_->current_folder)
      *folder = MakeFolder(state_, *state_->current_folder);
    return kSOk;
  }
  // There is no Outlook Bar on the command line.
  HResult OutlookBarShortcuts(std::unique_ptr<host::OutlookBarShortcuts>* shortcuts) override {
    shortcuts->reset();
    return kENoInterface;
  }

 private:
  std::shared_ptr<HostState> state_;
};

class StoreNameSpace final : public host::NameSpace {
 public:
  explicit StoreNameSpace(std::shared_ptr<HostState> state) : state_(std::move(state)) {}
  HResult GetFolders(std::unique_ptr<host::Folders>* roots) override {
    std::unique_ptr<host::Folder> stores =
        MakeFolder(state_, {FolderLocation::Kind::kStoreList, "", "", ""});
    return stores->GetFolders(roots);
  }

 private:
  std::shared_ptr<HostState> state_;
};

class MaildirApplication final : public host::Application {
 public:
  explicit MaildirApplication(std::shared_ptr<HostState> state) : state_(std::move(state)) {}
  HResult Session(std::unique_ptr<host::NameSpace>* name_space) override {
    *name_space = std::make_unique<StoreNameSpace>(state_);
    return kSOk;
  }
  HResult ActiveExplorer(std::unique_ptr<host::Explorer>* explorer) override {
    *explorer = std::make_unique<CommandLineExplorer>(state_);
    return kSOk;
  }

 private:
  std::shared_ptr<HostState> state_;
};

}  // namespace

std::unique_ptr<host::Application> MakeApplication(std::shared_ptr<HostState> state) {
  return std::make_unique<MaildirApplication>(std::move(state));
}

std::unique_ptr<host::CommandBarControl> MakeControl(std::shared_ptr<HostState> state,
                                                     std::shared_ptr<ToolbarControl> control) {
  return std::make_unique<Control>(std::move(state), std::move(control));
}

}  // namespace varnox::maildir
