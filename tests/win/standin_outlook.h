// A stand-in for Outlook and Office, played through IDispatch: objects with
// members answered by handlers or a property store, extra interfaces they
// answer to, and connection points for events. Every call is written to a
// journal with its arguments as they arrived ("Folders.Add('SpamFilter', 6)",
// omitted arguments as "<omitted>", 16-bit integers as "short(-1)").
//
// A property put must arrive as DISPATCH_PROPERTYPUT with the one named
// argument DISPID_PROPERTYPUT, as automation requires; anything else is
// refused with DISP_E_PARAMNOTOPTIONAL and journaled as refused. Like an
// Invoke checked against a type library, a method answers only calls that
// carry DISPATCH_METHOD and a property only reads that carry
// DISPATCH_PROPERTYGET; the other is refused with DISP_E_MEMBERNOTFOUND
// ("Bars.Item refused as a method call").
#ifndef VARNOX_TESTS_WIN_STANDIN_OUTLOOK_H_
#define VARNOX_TESTS_WIN_STANDIN_OUTLOOK_H_

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace varnox::win::testing {

// Answered by stand-in objects only: QueryInterface for it gives the
// StandInObject itself, so the journal can name objects passed as arguments.
extern const IID kIidStandIn;

struct Journal {
  std::vector<std::string> calls;
  // The calls that begin with `prefix`, in order.
  std::vector<std::string> Matching(const std::string& prefix) const;
};

// How the host's object model declares a member.
enum class Access { kMethod, kPropertyGet };

class StandInObject final : public IDispatch, public IConnectionPointContainer {
 public:
  // Arguments in their natural order (first argument first).
  using Handler = std::function<HRESULT(std::vector<VARIANT*>& args, VARIANT* result)>;

  // A new object with one reference, for the caller to hold.
  static StandInObject* Create(std::string name, Journal* journal);

  const std::string& name() const { return name_; }
  // A method, or a property read (an indexed one may take arguments),
  // answered by `handler`.
  void On(const std::string& member, Handler handler, Access access = Access::kMethod);
  // A property whose reads give `value` (copied) and whose puts replace it.
  void SetProperty(const std::string& member, const VARIANT& value);
  void SetText(const std::string& member, const std::wstring& text);
  void SetInt(const std::string& member, long value);
  void SetObject(const std::string& member, IDispatch* object);
  // The current value of a property (VT_EMPTY when never set).
  const VARIANT& Property(const std::string& member);
  // QueryInterface for `iid` answers this object.
  void Answer(const IID& iid) { extra_.push_back(iid); }
  // A connection point for the dispinterface `events`.
  void AddEvents(const IID& events);
  // Calls Invoke(id) on every connected sink; arguments in natural order.
  void Raise(const IID& events, DISPID id, std::vector<VARIANT> args);
  // Sinks now connected for `events`.
  std::size_t Connected(const IID& events) const;
  ULONG references() const { return references_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override;
  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

 private:
  class Point;
  StandInObject(std::string name, Journal* journal) : name_(std::move(name)), journal_(journal) {}
  ~StandInObject();
  DISPID IdOf(const std::string& member);

  std::string name_;
  Journal* journal_;
  ULONG references_ = 1;
  std::vector<std::string> members_;  // DISPID = index + 1
  std::map<std::string, Handler> handlers_;
  std::map<std::string, Access> accesses_;  // of the members with handlers
  std::map<std::string, VARIANT> properties_;
  std::vector<IID> extra_;
  std::vector<Point*> points_;
};

// Renders a variant as the journal shows it.
std::string Render(const VARIANT& value);

// A variant holding `object` (not AddRef'd: for arguments of Raise).
VARIANT ObjectArg(IDispatch* object);
// A variant holding a new reference on `object`: a call's result.
VARIANT ObjectResult(IDispatch* object);

// Clicks a command bar button as Office does: its Click event with the
// button and a CancelDefault flag that starts false. Returns the flag as the
// handlers left it.
VARIANT_BOOL ClickAsOffice(StandInObject* button);

using HeldStandIn = Microsoft::WRL::ComPtr<StandInObject>;
HeldStandIn MakeStandIn(const std::string& name, Journal* journal);
// `member` of `owner` answers `object` (a new reference each time).
void AnswerObject(StandInObject* owner, const std::string& member, IDispatch* object,
                  Access access = Access::kPropertyGet);
// GetFirst / GetNext of `collection` answer `elements` in order, then nothing.
void AnswerIteration(StandInObject* collection, std::vector<IDispatch*> elements);
// The same over what `elements` gives at each step, for a collection that
// changes (not held: the collection's owner keeps them).
void AnswerIteration(StandInObject* collection, std::function<std::vector<IDispatch*>()> elements);

}  // namespace varnox::win::testing

#endif  // VARNOX_TESTS_WIN_STANDIN_OUTLOOK_H_
