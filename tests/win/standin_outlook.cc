#include "tests/win/standin_outlook.h"

#include <algorithm>
#include <sstream>

#include <olectl.h>

#include "win/com/com_ids.h"
#include "win/outlook/outlook_ids.h"
#include "win/platform/wide_text.h"

namespace varnox::win::testing {

const IID kIidStandIn = {
    0x6D1F2A10, 0x3C4B, 0x4E5A, {0x9B, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76}};

std::vector<std::string> Journal::Matching(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& call : calls) {
    if (call.rfind(prefix, 0) == 0)
      found.push_back(call);
  }
  return found;
}

std::string Render(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY:
      return "<empty>";
    case VT_ERROR:
      return value.scode == DISP_E_PARAMNOTFOUND ? "<omitted>" : "error";
    case VT_I2:
      return "short(" + std::to_string(value.iVal) + ")";
    case VT_I4:
      return std::to_string(value.lVal);
    case VT_BOOL:
      return value.boolVal == VARIANT_TRUE ? "true" : (value.boolVal ? "bool(?)" : "false");
    case VT_BSTR:
      return "'" + NarrowBstr(value.bstrVal) + "'";
    case VT_DISPATCH: {
      if (value.pdispVal == nullptr)
        return "<null>";
      // Name the stand-in objects; anything else is just an object.
      StandInObject* object = nullptr;
      IDispatch* d = value.pdispVal;
      if (SUCCEEDED(d->QueryInterface(kIidStandIn, reinterpret_cast<void**>(&object)))) {
        std::string name = "<" + object->name() + ">";
        object->Release();
        return name;
      }
      return "<object>";
    }
    default:
      return "vt(" + std::to_string(value.vt) + ")";
  }
}

VARIANT ObjectArg(IDispatch* object) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = object;
  return v;
}

VARIANT ObjectResult(IDispatch* object) {
  VARIANT v = ObjectArg(object);
  if (object != nullptr)
    object->AddRef();
  return v;
}

HeldStandIn MakeStandIn(const std::string& name, Journal* journal) {
  HeldStandIn held;
  held.Attach(StandInObject::Create(name, journal));
  return held;
}

void AnswerObject(StandInObject* owner, const std::string& member, IDispatch* object,
                  Access access) {
  owner->On(
      member,
      [object](std::vector<VARIANT*>&, VARIANT* result) {
        *result = ObjectResult(object);
        return S_OK;
      },
      access);
}

void AnswerIteration(StandInObject* collection, std::vector<IDispatch*> elements) {
  AnswerIteration(collection, [elements] { return elements; });
}

void AnswerIteration(StandInObject* collection, std::function<std::vector<IDispatch*>()> elements) {
  auto position = std::make_shared<std::size_t>(0);
  auto step = [=](std::vector<VARIANT*>&, VARIANT* result) {
    const std::vector<IDispatch*> now = elements();
    if (*position < now.size())
      *result = ObjectResult(now[(*position)++]);
    return S_OK;
  };
  collection->On("GetFirst", [=](std::vector<VARIANT*>& args, VARIANT* result) {
    *position = 0;
    return step(args, result);
  });
  collection->On("GetNext", step);
}

// One connection point: the sinks connected, by cookie.
class StandInObject::Point final : public IConnectionPoint {
 public:
  Point(StandInObject& owner, const IID& events) : owner_(owner), events_(events) {}
  ~Point() {
    for (auto& [cookie, sink] : sinks_)
      sink->Release();
  }
  const IID& events() const { return events_; }
  std::map<DWORD, IDispatch*>& sinks() { return sinks_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
      *object = static_cast<IConnectionPoint*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    *iid = events_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** c) override {
    *c = &owner_;
    owner_.AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    // A sink is asked for the event interface, as a real host does.
    IDispatch* dispatch = nullptr;
    if (sink == nullptr ||
        FAILED(sink->QueryInterface(events_, reinterpret_cast<void**>(&dispatch)))) {
      return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = next_cookie_++;
    sinks_[*cookie] = dispatch;
    owner_.journal_->calls.push_back(owner_.name_ + ".Advise()");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    auto it = sinks_.find(cookie);
    owner_.journal_->calls.push_back(owner_.name_ + ".Unadvise(" + std::to_string(cookie) + ")");
    if (it == sinks_.end())
      return CONNECT_E_NOCONNECTION;
    it->second->Release();
    sinks_.erase(it);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

 private:
  StandInObject& owner_;
  IID events_;
  std::map<DWORD, IDispatch*> sinks_;
  DWORD next_cookie_ = 1;
};

StandInObject* StandInObject::Create(std::string name, Journal* journal) {
  return new StandInObject(std::move(name), journal);
}

StandInObject::~StandInObject() {
  for (auto& [member, value] : properties_)
    VariantClear(&value);
  for (Point* point : points_)
    delete point;
}

DISPID StandInObject::IdOf(const std::string& member) {
  auto it = std::find(members_.begin(), members_.end(), member);
  if (it == members_.end()) {
    members_.push_back(member);
    return static_cast<DISPID>(members_.size());
  }
  return static_cast<DISPID>(it - members_.begin() + 1);
}

void StandInObject::On(const std::string& member, Handler handler, Access access) {
  IdOf(member);
  handlers_[member] = std::move(handler);
  accesses_[member] = access;
}

void StandInObject::SetProperty(const std::string& member, const VARIANT& value) {
  IdOf(member);
  VARIANT& slot = properties_[member];
  VariantClear(&slot);
  VariantCopy(&slot, const_cast<VARIANT*>(&value));
}

void StandInObject::SetText(const std::string& member, const std::wstring& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  SetProperty(member, v);
  VariantClear(&v);
}

void StandInObject::SetInt(const std::string& member, long value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  SetProperty(member, v);
}

void StandInObject::SetObject(const std::string& member, IDispatch* object) {
  SetProperty(member, ObjectArg(object));
}

const VARIANT& StandInObject::Property(const std::string& member) {
  return properties_[member];
}

void StandInObject::AddEvents(const IID& events) {
  points_.push_back(new Point(*this, events));
}

void StandInObject::Raise(const IID& events, DISPID id, std::vector<VARIANT> args) {
  std::reverse(args.begin(), args.end());
  for (Point* point : points_) {
    if (!IsEqualIID(point->events(), events))
      continue;
    // Copied first: a handler may cancel its own subscription.
    std::map<DWORD, IDispatch*> sinks = point->sinks();
    for (auto& [cookie, sink] : sinks) {
      DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
      VARIANT result;
      VariantInit(&result);
      sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
      VariantClear(&result);
    }
  }
}

std::size_t StandInObject::Connected(const IID& events) const {
  std::size_t count = 0;
  for (Point* point : points_) {
    if (IsEqualIID(point->events(), events))
      count += point->sinks().size();
  }
  return count;
}

HRESULT StandInObject::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, kIidStandIn)) {
    *object = this;
  } else if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
             std::any_of(extra_.begin(), extra_.end(),
                         [&](const IID& iid) { return IsEqualIID(iid, riid); })) {
    *object = static_cast<IDispatch*>(this);
  } else if (IsEqualIID(riid, IID_IConnectionPointContainer) && !points_.empty()) {
    *object = static_cast<IConnectionPointContainer*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG StandInObject::AddRef() {
  return ++references_;
}

ULONG StandInObject::Release() {
  ULONG left = --references_;
  if (left == 0)
    delete this;
  return left;
}

HRESULT StandInObject::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT StandInObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  *info = nullptr;
  return E_NOTIMPL;
}

HRESULT StandInObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    const std::string member = NarrowTo1252(names[i]);
    auto it = std::find(members_.begin(), members_.end(), member);
    if (it == members_.end()) {
      ids[i] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    } else {
      ids[i] = static_cast<DISPID>(it - members_.begin() + 1);
    }
  }
  return hr;
}

HRESULT StandInObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT*) {
  if (id < 1 || static_cast<std::size_t>(id) > members_.size())
    return DISP_E_MEMBERNOTFOUND;
  const std::string& member = members_[id - 1];
  std::vector<VARIANT*> args;
  for (UINT i = params->cArgs; i > 0; --i)
    args.push_back(&params->rgvarg[i - 1]);
  std::string rendered;
  for (std::size_t i = 0; i < args.size(); ++i)
    rendered += (i ? ", " : "") + Render(*args[i]);

  if (flags & DISPATCH_PROPERTYPUT) {
    const bool proper = params->cNamedArgs == 1 && params->rgdispidNamedArgs != nullptr &&
                        params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT && args.size() == 1;
    if (!proper) {
      journal_->calls.push_back(name_ + "." + member + " = refused");
      return DISP_E_PARAMNOTOPTIONAL;
    }
    journal_->calls.push_back(name_ + "." + member + " = " + rendered);
    if (handlers_.count(member) != 0)
      return handlers_[member](args, result);
    SetProperty(member, *args[0]);
    return S_OK;
  }
  // Members set as properties are read; handlers say what they are.
  auto declared = accesses_.find(member);
  const Access access = declared != accesses_.end() ? declared->second : Access::kPropertyGet;
  if (access == Access::kMethod && (flags & DISPATCH_METHOD) == 0) {
    journal_->calls.push_back(name_ + "." + member + " refused as a property read");
    return DISP_E_MEMBERNOTFOUND;
  }
  if (access == Access::kPropertyGet && (flags & DISPATCH_PROPERTYGET) == 0) {
    journal_->calls.push_back(name_ + "." + member + " refused as a method call");
    return DISP_E_MEMBERNOTFOUND;
  }
  // A method call shows its arguments in parentheses, an indexed read in
  // brackets.
  std::string shown = name_ + "." + member;
  if (access == Access::kMethod)
    shown += "(" + rendered + ")";
  else if (!args.empty())
    shown += "[" + rendered + "]";
  journal_->calls.push_back(shown);
  if (result != nullptr)
    VariantInit(result);
  auto handler = handlers_.find(member);
  if (handler != handlers_.end()) {
    HRESULT hr = handler->second(args, result);
    if (hr == DISP_E_EXCEPTION && exception != nullptr) {
      *exception = EXCEPINFO{};
      exception->scode = E_FAIL;
    }
    return hr;
  }
  auto property = properties_.find(member);
  if (property == properties_.end())
    return DISP_E_MEMBERNOTFOUND;
  return result != nullptr ? VariantCopy(result, &property->second) : S_OK;
}

HRESULT StandInObject::EnumConnectionPoints(IEnumConnectionPoints**) {
  return E_NOTIMPL;
}

HRESULT StandInObject::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  for (Point* p : points_) {
    if (IsEqualIID(p->events(), riid)) {
      *point = p;
      p->AddRef();
      return S_OK;
    }
  }
  *point = nullptr;
  return CONNECT_E_NOCONNECTION;
}

VARIANT_BOOL ClickAsOffice(StandInObject* button) {
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT cancel_arg;
  VariantInit(&cancel_arg);
  cancel_arg.vt = VT_BOOL | VT_BYREF;
  cancel_arg.pboolVal = &cancel;
  button->Raise(kDiidCommandBarButtonEvents, kDispidClick, {ObjectArg(button), cancel_arg});
  return cancel;
}

}  // namespace varnox::win::testing
