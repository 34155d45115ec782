#include "tests/win/standin_world.h"

#include <tuple>

#include "win/outlook/outlook_ids.h"

namespace varnox::win::testing {

StandInOutlookBar::StandInOutlookBar(StandInObject* explorer, Journal* journal)
    : panes(MakeStandIn("Panes", journal)),
      pane(MakeStandIn("Pane", journal)),
      contents(MakeStandIn("Contents", journal)),
      groups(MakeStandIn("Groups", journal)),
      group(MakeStandIn("Group", journal)),
      shortcuts(MakeStandIn("Shortcuts", journal)) {
  AnswerObject(explorer, "Panes", panes.Get());
  AnswerObject(panes.Get(), "Item", pane.Get(), Access::kMethod);
  AnswerObject(pane.Get(), "Contents", contents.Get());
  AnswerObject(contents.Get(), "Groups", groups.Get());
  AnswerObject(groups.Get(), "Item", group.Get(), Access::kMethod);
  AnswerObject(group.Get(), "Shortcuts", shortcuts.Get());
  shortcuts->On("Add", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
}

StandInOutlook::StandInOutlook(Journal* j) : journal(j) {
  AnswerObject(application.Get(), "Session", name_space.Get());
  AnswerObject(application.Get(), "ActiveExplorer", explorer.Get(), Access::kMethod);
  AnswerObject(name_space.Get(), "Folders", roots.Get());
  AnswerIteration(roots.Get(), {store.Get()});
  AnswerObject(store.Get(), "Folders", top.Get());
  top->AddEvents(kDiidFoldersEvents);
  AnswerIteration(top.Get(), {inbox.Get(), drafts.Get(), calendar.Get()});
  AnswerObject(top.Get(), "Add", spam.Get(), Access::kMethod);
  long id = 0;
  for (auto [folder, name, type] :
       {std::tuple{inbox.Get(), L"Inbox", 0}, std::tuple{drafts.Get(), L"dRAFTS", 0},
        std::tuple{calendar.Get(), L"Calendar", 1}, std::tuple{spam.Get(), L"SpamFilter", 0}}) {
    folder->SetText("Name", name);
    folder->SetInt("DefaultItemType", type);
    folder->SetText("EntryID", std::to_wstring(++id));
    folder->SetText("StoreID", L"S");
  }
  spam->SetText("Description", L"");
  bar->SetText("Visible", L"");
  AnswerObject(inbox.Get(), "Items", inbox_items.Get());
  inbox_items->AddEvents(kDiidItemsEvents);
  AnswerObject(spam.Get(), "Items", spam_items.Get());
  spam_items->AddEvents(kDiidItemsEvents);
  AnswerObject(explorer.Get(), "CommandBars", bars.Get());
  AnswerObject(bars.Get(), "Add", bar.Get(), Access::kMethod);
  bars->On(
      "Item", [](std::vector<VARIANT*>&, VARIANT*) { return DISP_E_EXCEPTION; },
      Access::kPropertyGet);
  AnswerObject(bar.Get(), "Controls", bar_controls.Get());
  AddsControls(bar_controls.Get());
}

void StandInOutlook::AddsControls(StandInObject* controls) {
  controls->On("Add", [this](std::vector<VARIANT*>& args, VARIANT* result) {
    const bool popup = args[0]->vt == VT_I4 && args[0]->lVal == 10;
    Held control =
        MakeStandIn((popup ? "Popup" : "Button") + std::to_string(made.size() + 1), journal);
    for (const char* property : {"Caption", "DescriptionText", "Visible", "Enabled", "TooltipText",
                                 "Tag", "BeginGroup", "Style", "Picture"}) {
      control->SetText(property, L"");
    }
    if (popup) {
      control->Answer(kIidCommandBarPopup);
      Held inner = MakeStandIn("PopupControls", journal);
      AddsControls(inner.Get());
      AnswerObject(control.Get(), "Controls", inner.Get());
      made.push_back(inner);
    } else {
      control->Answer(kIidCommandBarButton);
      control->AddEvents(kDiidCommandBarButtonEvents);
      control->On("PasteFace", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
      buttons.push_back(control);
    }
    made.push_back(control);
    *result = ObjectResult(control.Get());
    return S_OK;
  });
}

StandInObject* StandInOutlook::Button(const std::string& caption) const {
  for (const Held& button : buttons) {
    if (Render(button->Property("Caption")) == "'" + caption + "'")
      return button.Get();
  }
  return nullptr;
}

bool StandInOutlook::Click(const std::string& caption) {
  StandInObject* button = Button(caption);
  if (button == nullptr)
    return false;
  ClickAsOffice(button);
  return true;
}

void StandInOutlook::Select(StandInObject* mail) {
  AnswerObject(explorer.Get(), "Selection", selection.Get());
  selection->SetInt("Class", 74);  // olSelection
  selection->SetInt("Count", 1);
  AnswerObject(selection.Get(), "Item", mail, Access::kMethod);
}

Held NewMail(const std::string& name, StandInMessage* message, Journal* journal) {
  Held mail = MakeStandIn(name, journal);
  mail->Answer(kIidMailItem);
  Microsoft::WRL::ComPtr<StandInMessage> held(message);
  mail->On(
      "MAPIOBJECT",
      [held](std::vector<VARIANT*>&, VARIANT* result) {
        result->vt = VT_UNKNOWN;
        result->punkVal = static_cast<IMessage*>(held.Get());
        held->AddRef();
        return S_OK;
      },
      Access::kPropertyGet);
  mail->On("Move", [](std::vector<VARIANT*>&, VARIANT*) { return S_OK; });
  return mail;
}

}  // namespace varnox::win::testing
