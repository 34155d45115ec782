// Event sinks: QueryInterface, counting, and dispatch through the event map.
#include "win/outlook/event_sink.h"
#include "win/outlook/outlook_ids.h"

#include <ocidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/com/com_ids.h"

namespace varnox::win {
namespace {

class RecordingHandlers final : public EventHandlers {
 public:
  void OnClick(EventSink& sink, IDispatch* button, VARIANT_BOOL* cancel_default) override {
    calls.push_back("Click " + std::to_string(sink.identity()));
    last_dispatch = button;
    last_cancel = cancel_default;
  }
  void OnFolderAdd(EventSink& sink, IDispatch* folder) override {
    calls.push_back("FolderAdd " + std::to_string(sink.identity()));
    last_dispatch = folder;
  }
  void OnItemAdd(EventSink& sink, IDispatch* item) override {
    calls.push_back("ItemAdd " + std::to_string(sink.identity()));
    last_dispatch = item;
  }
  std::vector<std::string> calls;
  IDispatch* last_dispatch = nullptr;
  VARIANT_BOOL* last_cancel = nullptr;
};

// An object that only counts references, standing in for the add-in.
class CountingOwner final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
  ULONG STDMETHODCALLTYPE Release() override { return --count; }
  ULONG count = 1;
};

// Some dispatch object to pass as an argument; never called.
IDispatch* const kSomeDispatch = reinterpret_cast<IDispatch*>(0x1000);

HRESULT Raise(EventSink& sink, DISPID id, std::vector<VARIANT> arguments_last_first) {
  DISPPARAMS params{arguments_last_first.data(), nullptr,
                    static_cast<UINT>(arguments_last_first.size()), 0};
  VARIANT result;
  VariantInit(&result);
  return sink.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
}

VARIANT DispatchArg(IDispatch* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = value;
  return v;
}

VARIANT BoolRefArg(VARIANT_BOOL* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL | VT_BYREF;
  v.pboolVal = value;
  return v;
}

TEST(EventSinkTest, DispatchesByIdentityInterfaceAndDispatchId) {
  struct Case {
    const char* what;
    int identity;
    const IID* events;
    DISPID id;
    int arguments;         // 2: (Ctrl, CancelDefault); 1: (object)
    const char* expected;  // "" when nothing runs
  };
  const Case cases[] = {
      {"Click on Mark Spam", 1, &kDiidCommandBarButtonEvents, 1, 2, "Click 1"},
      {"Click on About", 10, &kDiidCommandBarButtonEvents, 1, 2, "Click 10"},
      {"another button event", 4, &kDiidCommandBarButtonEvents, 2, 2, ""},
      {"Click with one argument", 4, &kDiidCommandBarButtonEvents, 1, 1, ""},
      {"FolderAdd", kFolderAddedSink, &kDiidFoldersEvents, 0xF001, 1, "FolderAdd 11"},
      {"FolderChange", kFolderAddedSink, &kDiidFoldersEvents, 0xF002, 1, ""},
      {"FolderRemove", kFolderAddedSink, &kDiidFoldersEvents, 0xF003, 0, ""},
      {"ItemAdd", kItemsSink, &kDiidItemsEvents, 0xF001, 1, "ItemAdd 12"},
      {"ItemChange", kItemsSink, &kDiidItemsEvents, 0xF002, 1, ""},
      {"ItemRemove", kItemsSink, &kDiidItemsEvents, 0xF003, 0, ""},
      {"ItemAdd without its item", kItemsSink, &kDiidItemsEvents, 0xF001, 0, ""},
      {"an items event at a button sink", 3, &kDiidItemsEvents, 0xF001, 1, ""},
      {"a click at a sink of no button", 0, &kDiidCommandBarButtonEvents, 1, 2, ""},
  };
  for (const Case& c : cases) {
    EventSink sink(c.identity, *c.events, nullptr);
    RecordingHandlers handlers;
    sink.Bind(&handlers);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    std::vector<VARIANT> args;
    if (c.arguments == 2)
      args = {BoolRefArg(&cancel), DispatchArg(kSomeDispatch)};
    else if (c.arguments == 1)
      args = {DispatchArg(kSomeDispatch)};
    EXPECT_EQ(Raise(sink, c.id, args), S_OK) << c.what;
    if (*c.expected == '\0') {
      EXPECT_TRUE(handlers.calls.empty()) << c.what;
    } else {
      ASSERT_EQ(handlers.calls.size(), 1u) << c.what;
      EXPECT_EQ(handlers.calls[0], c.expected) << c.what;
      EXPECT_EQ(handlers.last_dispatch, kSomeDispatch) << c.what;
      if (c.arguments == 2) {
        EXPECT_EQ(handlers.last_cancel, &cancel) << c.what;
      }
    }
    EXPECT_EQ(cancel, VARIANT_FALSE) << "CancelDefault is left as the host passed it";
  }
}

TEST(EventSinkTest, ArgumentsOfOtherTypesArriveAsNull) {
  EventSink sink(2, kDiidCommandBarButtonEvents, nullptr);
  RecordingHandlers handlers;
  sink.Bind(&handlers);
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 5;
  ASSERT_EQ(Raise(sink, 1, {number, number}), S_OK);
  ASSERT_EQ(handlers.calls.size(), 1u);
  EXPECT_EQ(handlers.last_dispatch, nullptr);
  EXPECT_EQ(handlers.last_cancel, nullptr);
}

TEST(EventSinkTest, UnboundSinksAnswerSuccessAndDoNothing) {
  EventSink sink(1, kDiidCommandBarButtonEvents, nullptr);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  EXPECT_EQ(Raise(sink, 1, {BoolRefArg(&cancel), DispatchArg(kSomeDispatch)}), S_OK);
  EXPECT_EQ(sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), S_OK);
}

TEST(EventSinkTest, AnswersItsEventInterfaceAndCountsOnItsOwner) {
  CountingOwner owner;
  EventSink sink(kFolderAddedSink, kDiidFoldersEvents, &owner);
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &kDiidFoldersEvents}) {
    void* object = nullptr;
    ASSERT_EQ(sink.QueryInterface(*iid, &object), S_OK);
    EXPECT_EQ(object, static_cast<IDispatch*>(&sink));
  }
  EXPECT_EQ(owner.count, 4u) << "each answer is a reference on the owner";
  for (const IID* iid : {&kDiidItemsEvents, &kDiidCommandBarButtonEvents, &IID_IConnectionPoint}) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(sink.QueryInterface(*iid, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(sink.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  for (int i = 0; i < 3; ++i)
    sink.Release();
  EXPECT_EQ(owner.count, 1u);

  EventSink items(kItemsSink, kDiidItemsEvents, nullptr);
  EXPECT_EQ(items.AddRef(), 1u) << "an items sink counts nothing";
  EXPECT_EQ(items.Release(), 1u);
}

TEST(EventSinkTest, HasNoTypeInformation) {
  EventSink sink(1, kDiidCommandBarButtonEvents, nullptr);
  UINT count = 7;
  EXPECT_EQ(sink.GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_TRUE(FAILED(sink.GetTypeInfo(0, 0, &info)));
  EXPECT_EQ(info, nullptr);
}

}  // namespace
}  // namespace varnox::win
