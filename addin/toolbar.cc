#include "addin/toolbar.h"

#include <exception>

#include "addin/list_commands.h"
#include "addin/mail_commands.h"
#include "addin/settings_commands.h"
#include "addin/vnx_addin.h"

namespace varnox {
namespace {

constexpr bool kTemporary = true;

// Icon resource ids of the faces.
constexpr int kFaceWhiteList = 206;
constexpr int kFaceBlackList = 207;
constexpr int kFaceMarkSpam = 208;
constexpr int kFaceNotSpam = 209;
constexpr int kFaceTrain = 210;
constexpr int kFaceInfo = 211;
constexpr int kFaceSettings = 213;

// About begins a group: a separator stands above it in the pop-up.
constexpr int kAboutIdentity = 10;

constexpr std::int32_t kIconAndCaption = outlook::kMsoButtonIconAndCaption;
constexpr std::int32_t kCaptionOnly = outlook::kMsoButtonCaption;

constexpr std::array<ToolbarButton, 10> kButtons = {{
    {1, false, "Mark Spam", "Select an email and Mark as Spam", kFaceMarkSpam, kIconAndCaption,
     OnMarkSpam},
    {2, false, "Not Spam", "Select an email and Mark as Not Spam", kFaceNotSpam, kIconAndCaption,
     OnNotSpam},
    {3, false, "BlackList", "Add EmailId or Domain in blacklist.", kFaceBlackList, kIconAndCaption,
     OnBlackList},
    {4, false, "WhiteList", "Add EmailId or Domain in whitelist.", kFaceWhiteList, kIconAndCaption,
     OnWhiteList},
    {5, false, "Train Filter", "Train Filter.", kFaceTrain, kIconAndCaption, OnTrainFilter},
    {6, false, "Mail Header", "View Mail Headers.", kFaceInfo, kIconAndCaption, OnMailHeader},
    {7, true, "Settings", "", kFaceSettings, kIconAndCaption, OnSettings},
    {8, true, "Support", "", kFaceInfo, kCaptionOnly, OnSupport},
    {9, true, "Help", "", kFaceInfo, kCaptionOnly, OnHelp},
    {kAboutIdentity, true, "About", "", kFaceInfo, kCaptionOnly, OnAbout},
}};

// A call that succeeded without giving the object asked for counts as failed.
template <typename T>
HResult Got(HResult hr, const std::unique_ptr<T>& object) {
  return Succeeded(hr) && object == nullptr ? kEPointer : hr;
}

// The face is decoration: when it cannot be made or given, the button works
// without one. Where the host takes a picture directly the clipboard is left
// alone; otherwise the face goes through it and the user's copy comes back.
void GiveFace(ButtonFaces& faces, outlook::CommandBarButton& button, int face_id) {
  const std::unique_ptr<ButtonFace> face = faces.MakeButtonFace(face_id, kColorButtonFace);
  if (face == nullptr)
    return;
  if (Succeeded(button.SetPicture(*face)))
    return;
  faces.PasteThroughClipboard(*face, [&button] { return button.PasteFace(); });
}

HResult DressButton(ButtonFaces& faces, outlook::CommandBarButton& button, std::string_view caption,
                    std::string_view tooltip, int face_id, std::int32_t style) {
  HResult hr = button.SetStyle(style);
  if (Failed(hr))
    return hr;
  GiveFace(faces, button, face_id);
  if (Failed(hr = button.SetVisible(true)) || Failed(hr = button.SetCaption(caption)) ||
      Failed(hr = button.SetEnabled(true)) || Failed(hr = button.SetTooltipText(tooltip)) ||
      Failed(hr = button.SetTag(caption))) {
    return hr;
  }
  return kSOk;
}

// Makes the button of `row` on `controls`, keeps it in its slot and
// subscribes its sink. A refused subscription leaves the button inert but
// is no reason to give up the rest of the toolbar.
HResult AddButton(CVNXAddin& addin, const ToolbarButton& row,
                  outlook::CommandBarControls& controls) {
  const std::size_t slot = static_cast<std::size_t>(row.identity - 1);
  std::unique_ptr<outlook::CommandBarButton>& button = addin.buttons[slot];
  const HResult hr = CreateButton(addin.platform.faces, row.caption, row.tooltip, controls,
                                  row.faceId, outlook::kMsoControlButton, row.style, &button);
  if (Failed(hr) || button == nullptr)
    return hr;
  ButtonClickSink& sink = addin.buttonSinks[slot];
  if (Failed(button->Advise(&sink, &sink.cookie)))
    sink.cookie = 0;
  if (row.identity == kAboutIdentity)
    return button->SetBeginGroup(true);
  return kSOk;
}

HResult AddButtons(CVNXAddin& addin, bool in_popup, outlook::CommandBarControls& controls) {
  for (const ToolbarButton& row : kButtons) {
    if (row.inSettingsPopup != in_popup)
      continue;
    if (const HResult hr = AddButton(addin, row, controls); Failed(hr))
      return hr;
  }
  return kSOk;
}

// The "Settings" pop-up, kept in addin.settingsPopup; *controls are its own.
HResult AddSettingsPopup(CVNXAddin& addin, outlook::CommandBarControls& toolbar_controls,
                         std::unique_ptr<outlook::CommandBarControls>* controls) {
  std::unique_ptr<outlook::CommandBarControl> control;
  HResult hr = Got(toolbar_controls.Add(outlook::kMsoControlPopup, kTemporary, &control), control);
  if (Failed(hr))
    return hr;
  std::unique_ptr<outlook::CommandBarPopup> popup;
  if (Failed(hr = Got(control->QueryPopup(&popup), popup)))
    return hr;
  outlook::CommandBarPopup& kept = *popup;
  addin.settingsPopup = std::move(popup);
  if (Failed(hr = kept.SetCaption(kSettingsPopupCaption)) ||
      Failed(hr = kept.SetDescriptionText("")) || Failed(hr = kept.SetVisible(true))) {
    return hr;
  }
  return Got(kept.GetControls(controls), *controls);
}

HResult AddControls(CVNXAddin& addin, outlook::CommandBar& toolbar) {
  std::unique_ptr<outlook::CommandBarControls> controls;
  HResult hr = Got(toolbar.GetControls(&controls), controls);
  if (Failed(hr) || Failed(hr = AddButtons(addin, false, *controls)))
    return hr;
  std::unique_ptr<outlook::CommandBarControls> popup_controls;
  if (Failed(hr = AddSettingsPopup(addin, *controls, &popup_controls)))
    return hr;
  return AddButtons(addin, true, *popup_controls);
}

// A toolbar of ours left from an earlier connection in this host run holds
// only inert buttons, and the host would refuse a second one of that name.
void RemoveLeftoverToolbar(outlook::CommandBars& bars) {
  std::unique_ptr<outlook::CommandBar> leftover;
  if (Succeeded(bars.FindBar(kToolbarName, &leftover)) && leftover != nullptr)
    leftover->Delete();
}

}  // namespace

const std::array<ToolbarButton, 10>& ToolbarButtons() {
  return kButtons;
}

HResult CreateButton(ButtonFaces& faces, std::string_view caption, std::string_view tooltip,
                     outlook::CommandBarControls& controls, int faceId, std::int32_t type,
                     std::int32_t style, std::unique_ptr<outlook::CommandBarButton>* button) {
  button->reset();
  std::unique_ptr<outlook::CommandBarControl> control;
  HResult hr = Got(controls.Add(type, kTemporary, &control), control);
  if (Failed(hr))
    return hr;
  std::unique_ptr<outlook::CommandBarButton> made;
  if (Failed(control->QueryButton(&made)) || made == nullptr)
    return kSOk;  // not a button: its slot stays empty
  if (Failed(hr = DressButton(faces, *made, caption, tooltip, faceId, style)))
    return hr;
  *button = std::move(made);
  return kSOk;
}

void BuildToolbar(CVNXAddin& addin, outlook::CommandBars& commandBars) {
  try {
    RemoveLeftoverToolbar(commandBars);
    std::unique_ptr<outlook::CommandBar> toolbar;
    if (Failed(Got(commandBars.Add(kToolbarName, outlook::kMsoBarTop, kTemporary, &toolbar),
                   toolbar))) {
      return;
    }
    // Whatever was built before a failure works: show it.
    AddControls(addin, *toolbar);
    toolbar->SetVisible(true);
  } catch (const std::exception&) {
    // Out of memory: the toolbar stays as far as it got.
  }
}

void RunButtonCommand(CVNXAddin& addin, int identity) {
  for (const ToolbarButton& row : kButtons) {
    if (row.identity != identity)
      continue;
    try {
      row.command(addin);
    } catch (const std::exception&) {
      // A command that ran out of memory stops; the host's event returns.
    }
    return;
  }
}

}  // namespace varnox
