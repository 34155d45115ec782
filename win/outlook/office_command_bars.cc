// Adapters of the Office command-bar object model: command bars, a toolbar,
// its controls, the pop-up and buttons with their faces and Click event.
#include <olectl.h>

#include "win/outlook/outlook_ids.h"
#include "win/outlook/outlook_session.h"
#include "win/platform/win_button_faces.h"

namespace varnox::win {
namespace {

using SessionPtr = std::shared_ptr<OutlookSession>;

// Temporary, passed the automation way as a 16-bit integer.
Variant Temporary(bool temporary) {
  if (temporary)
    return Variant::TrueAsShort();
  Variant v = Variant::Int(0);
  v.get()->vt = VT_I2;
  v.get()->iVal = 0;
  return v;
}

// The CommandBarControl side, shared by plain controls, the pop-up and
// buttons.
template <typename Base>
class ControlAdapter : public Base {
 public:
  ControlAdapter(SessionPtr session, DispatchObject object)
      : session_(std::move(session)), object_(std::move(object)) {}

  HResult SetCaption(std::string_view caption) override {
    return object_.Put(L"Caption", Variant::Text(caption));
  }
  HResult SetDescriptionText(std::string_view text) override {
    return object_.Put(L"DescriptionText", Variant::Text(text));
  }
  HResult SetVisible(bool visible) override {
    return object_.Put(L"Visible", Variant::Bool(visible));
  }
  HResult SetEnabled(bool enabled) override {
    return object_.Put(L"Enabled", Variant::Bool(enabled));
  }
  HResult SetTooltipText(std::string_view text) override {
    return object_.Put(L"TooltipText", Variant::Text(text));
  }
  HResult SetTag(std::string_view tag) override { return object_.Put(L"Tag", Variant::Text(tag)); }
  HResult SetBeginGroup(bool begin_group) override {
    return object_.Put(L"BeginGroup", Variant::Bool(begin_group));
  }
  HResult QueryButton(std::unique_ptr<outlook::CommandBarButton>* button) override;
  HResult QueryPopup(std::unique_ptr<outlook::CommandBarPopup>* popup) override;

 protected:
  // The control asked for `iid`, as a dispatch object (both interfaces are
  // dual), or kENoInterface.
  HResult Query(const IID& iid, DispatchObject* as) {
    IDispatch* asked = nullptr;
    if (FAILED(object_.get()->QueryInterface(iid, reinterpret_cast<void**>(&asked))) ||
        asked == nullptr) {
      return kENoInterface;
    }
    ComPtr<IDispatch> held;
    held.Attach(asked);
    *as = DispatchObject(std::move(held));
    return kSOk;
  }

  SessionPtr session_;
  DispatchObject object_;
};

class CommandBarControlsAdapter final : public outlook::CommandBarControls {
 public:
  CommandBarControlsAdapter(SessionPtr session, DispatchObject object)
      : session_(std::move(session)), object_(std::move(object)) {}

  // Controls.Add(Type, Id, Parameter, Before, Temporary), the middle three
  // omitted.
  HResult Add(std::int32_t type, bool temporary,
              std::unique_ptr<outlook::CommandBarControl>* control) override {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::Int(type));
    arguments.push_back(Variant::Omitted());
    arguments.push_back(Variant::Omitted());
    arguments.push_back(Variant::Omitted());
    arguments.push_back(Temporary(temporary));
    DispatchObject result;
    HResult hr = object_.CallForObject(L"Add", std::move(arguments), &result);
    return WrapAnswer(
        hr, std::move(result), control,
        [&](DispatchObject o) { return session_->WrapControl(std::move(o)); }, Nothing::kIsFailure);
  }

 private:
  SessionPtr session_;
  DispatchObject object_;
};

HResult ControlsOf(const SessionPtr& session, const DispatchObject& owner,
                   std::unique_ptr<outlook::CommandBarControls>* controls) {
  DispatchObject result;
  HResult hr = owner.GetObjectProperty(L"Controls", &result);
  return WrapAnswer(
      hr, std::move(result), controls,
      [&](DispatchObject o) {
        return std::make_unique<CommandBarControlsAdapter>(session, std::move(o));
      },
      Nothing::kIsFailure);
}

class CommandBarControlAdapter final : public ControlAdapter<outlook::CommandBarControl> {
 public:
  using ControlAdapter::ControlAdapter;
};

class CommandBarPopupAdapter final : public ControlAdapter<outlook::CommandBarPopup> {
 public:
  using ControlAdapter::ControlAdapter;
  HResult GetControls(std::unique_ptr<outlook::CommandBarControls>* controls) override {
    return ControlsOf(session_, object_, controls);
  }
};

class CommandBarButtonAdapter final : public ControlAdapter<outlook::CommandBarButton> {
 public:
  using ControlAdapter::ControlAdapter;

  HResult SetStyle(std::int32_t style) override {
    return object_.Put(L"Style", Variant::Int(style));
  }
  // Picture takes an IPictureDisp: the face is handed over as a bitmap
  // picture that the button copies; no clipboard is touched.
  HResult SetPicture(const ButtonFace& face) override {
    auto* win_face = dynamic_cast<const WinButtonFace*>(&face);
    if (win_face == nullptr)
      return kENotImpl;
    HBITMAP copy = static_cast<HBITMAP>(CopyImage(win_face->bitmap(), IMAGE_BITMAP, 0, 0, 0));
    if (copy == nullptr)
      return kEOutOfMemory;
    PICTDESC description{};
    description.cbSizeofstruct = sizeof description;
    description.picType = PICTYPE_BITMAP;
    description.bmp.hbitmap = copy;
    ComPtr<IDispatch> picture;
    HRESULT hr = OleCreatePictureIndirect(&description, IID_IDispatch, TRUE,
                                          reinterpret_cast<void**>(picture.GetAddressOf()));
    if (FAILED(hr)) {
      DeleteObject(copy);
      return hr;
    }
    return object_.Put(L"Picture", Variant::Object(picture.Get()));
  }
  HResult PasteFace() override { return object_.Call(L"PasteFace", {}); }
  HResult Advise(outlook::ButtonEventSink* sink, host::Cookie* cookie) override {
    return session_->AdviseButton(object_, sink, cookie);
  }
  HResult Unadvise(host::Cookie cookie) override {
    return session_->Unadvise(object_, kDiidCommandBarButtonEvents, cookie);
  }
};

template <typename Base>
HResult ControlAdapter<Base>::QueryButton(std::unique_ptr<outlook::CommandBarButton>* button) {
  button->reset();
  DispatchObject as;
  HResult hr = Query(kIidCommandBarButton, &as);
  if (Succeeded(hr))
    *button = std::make_unique<CommandBarButtonAdapter>(session_, std::move(as));
  return hr;
}

template <typename Base>
HResult ControlAdapter<Base>::QueryPopup(std::unique_ptr<outlook::CommandBarPopup>* popup) {
  popup->reset();
  DispatchObject as;
  HResult hr = Query(kIidCommandBarPopup, &as);
  if (Succeeded(hr))
    *popup = std::make_unique<CommandBarPopupAdapter>(session_, std::move(as));
  return hr;
}

class CommandBarAdapter final : public outlook::CommandBar {
 public:
  CommandBarAdapter(SessionPtr session, DispatchObject object)
      : session_(std::move(session)), object_(std::move(object)) {}
  HResult GetControls(std::unique_ptr<outlook::CommandBarControls>* controls) override {
    return ControlsOf(session_, object_, controls);
  }
  HResult SetVisible(bool visible) override {
    return object_.Put(L"Visible", Variant::Bool(visible));
  }
  HResult Delete() override { return object_.Call(L"Delete", {}); }

 private:
  SessionPtr session_;
  DispatchObject object_;
};

// What makes the adapter of a bar that CommandBars.Add or Item answered.
auto BarMaker(const SessionPtr& session) {
  return [session](DispatchObject o) {
    return std::make_unique<CommandBarAdapter>(session, std::move(o));
  };
}

class CommandBarsAdapter final : public outlook::CommandBars {
 public:
  CommandBarsAdapter(SessionPtr session, DispatchObject object)
      : session_(std::move(session)), object_(std::move(object)) {}

  // CommandBars.Add(Name, Position, MenuBar omitted, Temporary).
  HResult Add(std::string_view name, std::int32_t position, bool temporary,
              std::unique_ptr<outlook::CommandBar>* bar) override {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::Text(name));
    arguments.push_back(Variant::Int(position));
    arguments.push_back(Variant::Omitted());
    arguments.push_back(Temporary(temporary));
    DispatchObject result;
    HResult hr = object_.CallForObject(L"Add", std::move(arguments), &result);
    return WrapAnswer(hr, std::move(result), bar, BarMaker(session_), Nothing::kIsFailure);
  }

  // CommandBars.Item(name), a property read in Office: the host raises an
  // error when there is no such bar.
  HResult FindBar(std::string_view name, std::unique_ptr<outlook::CommandBar>* bar) override {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::Text(name));
    DispatchObject result;
    HResult hr = object_.GetObjectProperty(L"Item", std::move(arguments), &result);
    return WrapAnswer(hr, std::move(result), bar, BarMaker(session_), Nothing::kIsFailure);
  }

 private:
  SessionPtr session_;
  DispatchObject object_;
};

}  // namespace

std::unique_ptr<outlook::CommandBars> OutlookSession::WrapCommandBars(DispatchObject bars) {
  return bars ? std::make_unique<CommandBarsAdapter>(shared_from_this(), std::move(bars)) : nullptr;
}

std::unique_ptr<outlook::CommandBarControl> OutlookSession::WrapControl(DispatchObject control) {
  return control
             ? std::make_unique<CommandBarControlAdapter>(shared_from_this(), std::move(control))
             : nullptr;
}

}  // namespace varnox::win
