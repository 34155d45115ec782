// The module's exports, the class factory and the add-in object's COM
// identity, through the real DLL.
#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include "tests/win/addin_dll.h"
#include "win/com/com_ids.h"
#include "win/outlook/outlook_ids.h"

namespace varnox::win {
namespace {

using Microsoft::WRL::ComPtr;
using testing::AddinDll;

class AddinModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dll.loaded()) << testing::AddinDllPath(); }

  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(dll.get_class_object(kClsidVnxAddin, IID_IClassFactory,
                                   reinterpret_cast<void**>(factory.GetAddressOf())),
              S_OK);
    return factory;
  }

  ComPtr<IUnknown> NewAddin() {
    ComPtr<IUnknown> addin;
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown,
                                        reinterpret_cast<void**>(addin.GetAddressOf())),
              S_OK);
    return addin;
  }

  AddinDll dll;
};

TEST_F(AddinModuleTest, ClassObjectOnlyForOurClass) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(dll.get_class_object(kClsidVnxAddin, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(dll.get_class_object(kIidVnxAddin, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(dll.get_class_object(kClsidVnxAddin, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  // The factory is made once and handed out again.
  ComPtr<IClassFactory> first = Factory();
  ComPtr<IUnknown> second;
  ASSERT_EQ(dll.get_class_object(kClsidVnxAddin, IID_IUnknown,
                                 reinterpret_cast<void**>(second.GetAddressOf())),
            S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(first.Get()), second.Get());
}

TEST_F(AddinModuleTest, CanUnloadOnlyWhenNothingIsHeld) {
  EXPECT_EQ(dll.can_unload_now(), S_OK) << "before anything";
  {
    ComPtr<IClassFactory> factory = Factory();
    EXPECT_EQ(dll.can_unload_now(), S_FALSE) << "the factory is held";
    ComPtr<IUnknown> addin;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown,
                                      reinterpret_cast<void**>(addin.GetAddressOf())),
              S_OK);
    factory.Reset();
    EXPECT_EQ(dll.can_unload_now(), S_FALSE) << "the add-in lives";
    ComPtr<IUnknown> again = addin;
    addin.Reset();
    EXPECT_EQ(dll.can_unload_now(), S_FALSE) << "one reference is left";
  }
  EXPECT_EQ(dll.can_unload_now(), S_OK) << "after the add-in was released";

  ComPtr<IClassFactory> factory = Factory();
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(dll.can_unload_now(), S_FALSE) << "locked";
  Factory()->LockServer(FALSE);
  EXPECT_EQ(dll.can_unload_now(), S_OK);
}

TEST_F(AddinModuleTest, CreateInstanceRefusesWhatItCannotGive) {
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IConnectionPointContainer, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  factory.Reset();
  EXPECT_EQ(dll.can_unload_now(), S_OK) << "the object that gave nothing is gone";
}

// An outer object for aggregation: counts its references and answers only
// IUnknown itself.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    ++queries;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    if (inner != nullptr)
      return inner->QueryInterface(riid, object);
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
  ULONG STDMETHODCALLTYPE Release() override { return --count; }

  ULONG count = 1;
  int queries = 0;
  IUnknown* inner = nullptr;
};

TEST_F(AddinModuleTest, AggregatesOnlyThroughIUnknown) {
  ComPtr<IClassFactory> factory = Factory();
  Outer outer;
  for (const IID* iid : {&IID_IDispatch, &kIidVnxAddin, &kIidIdtExtensibility2}) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, *iid, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(outer.count, 1u);

  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  outer.inner = inner;
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(inner->QueryInterface(kIidVnxAddin, reinterpret_cast<void**>(&dispatch)), S_OK);
  EXPECT_EQ(outer.count, 2u) << "references on inner interfaces count on the outer object";
  // The inner interfaces' QueryInterface goes to the outer object.
  const int before = outer.queries;
  IUnknown* identity = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, &outer);
  EXPECT_EQ(outer.queries, before + 1);
  identity->Release();
  dispatch->Release();
  EXPECT_EQ(outer.count, 1u);
  factory.Reset();
  EXPECT_EQ(dll.can_unload_now(), S_FALSE) << "the aggregated object lives";
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(dll.can_unload_now(), S_OK);
}

TEST_F(AddinModuleTest, AnswersExactlyItsThreeInterfaces) {
  ComPtr<IUnknown> addin = NewAddin();
  ComPtr<IUnknown> as_vnx, as_dispatch;
  ASSERT_EQ(addin.As(&as_dispatch), S_OK);
  ASSERT_EQ(addin->QueryInterface(kIidVnxAddin, reinterpret_cast<void**>(as_vnx.GetAddressOf())),
            S_OK);
  EXPECT_EQ(addin.Get(), as_vnx.Get()) << "IUnknown is IVNXAddin";
  EXPECT_EQ(as_dispatch.Get(), as_vnx.Get()) << "IDispatch is IVNXAddin";

  ComPtr<ISupportErrorInfo> error_info;
  ASSERT_EQ(addin.As(&error_info), S_OK);
  EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(kIidVnxAddin), S_OK);
  EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(kIidIdtExtensibility2), S_FALSE);
  EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);

  IDTExtensibility2* extensibility = nullptr;
  ASSERT_EQ(addin->QueryInterface(kIidIdtExtensibility2, reinterpret_cast<void**>(&extensibility)),
            S_OK);
  ComPtr<IUnknown> back;
  ASSERT_EQ(
      extensibility->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(back.GetAddressOf())),
      S_OK);
  EXPECT_EQ(back.Get(), addin.Get()) << "one identity";
  extensibility->Release();

  for (const IID* iid :
       {&IID_IConnectionPointContainer, &IID_IPersist, &IID_IProvideClassInfo, &IID_IClassFactory,
        &kDiidCommandBarButtonEvents, &kDiidItemsEvents, &kDiidFoldersEvents, &IID_ITypeInfo}) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(addin->QueryInterface(*iid, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
  }
}

TEST_F(AddinModuleTest, ExtensibilityAnswersNotImplementedForTheOtherEntries) {
  ComPtr<IUnknown> addin = NewAddin();
  IDTExtensibility2* extensibility = nullptr;
  ASSERT_EQ(addin->QueryInterface(kIidIdtExtensibility2, reinterpret_cast<void**>(&extensibility)),
            S_OK);
  SAFEARRAY* custom = nullptr;
  EXPECT_EQ(extensibility->OnAddInsUpdate(&custom), E_NOTIMPL);
  EXPECT_EQ(extensibility->OnStartupComplete(&custom), E_NOTIMPL);
  EXPECT_EQ(extensibility->OnBeginShutdown(&custom), E_NOTIMPL);
  EXPECT_EQ(extensibility->OnDisconnection(kExtDmHostShutdown, &custom), S_OK);
  // The Add-In Designer type library is not installed under Wine: the
  // dispatch side of _IDTExtensibility2 fails cleanly.
  UINT count = 0;
  EXPECT_EQ(extensibility->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_TRUE(FAILED(extensibility->GetTypeInfo(0, 0, &info)));
  EXPECT_EQ(info, nullptr);
  extensibility->Release();
}

TEST_F(AddinModuleTest, DispatchComesFromOurTypeLibrary) {
  ComPtr<IUnknown> addin = NewAddin();
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(addin.As(&dispatch), S_OK);
  UINT count = 0;
  ASSERT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(dispatch->GetTypeInfo(1, 0, info.GetAddressOf()), DISP_E_BADINDEX);
  ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.GetAddressOf()), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, kIidVnxAddin));
  EXPECT_EQ(attributes->typekind, TKIND_DISPATCH) << "dual: described as a dispatch interface";
  info->ReleaseTypeAttr(attributes);

  ComPtr<ITypeLib> library;
  UINT index = 0;
  ASSERT_EQ(info->GetContainingTypeLib(library.GetAddressOf(), &index), S_OK);
  TLIBATTR* library_attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&library_attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(library_attributes->guid, kLibidVarnoxMail));
  EXPECT_EQ(library_attributes->wMajorVerNum, kTypeLibMajor);
  EXPECT_EQ(library_attributes->wMinorVerNum, kTypeLibMinor);
  EXPECT_EQ(library_attributes->lcid, kTypeLibLocale);
  library->ReleaseTLibAttr(library_attributes);
  EXPECT_EQ(library->GetTypeInfoCount(), 2u);

  struct Described {
    const GUID* guid;
    const wchar_t* name;
    const wchar_t* help;
  };
  const Described described[] = {
      {&kIidVnxAddin, L"IVNXAddin", L"IVNXAddin Interface"},
      {&kClsidVnxAddin, L"VNXAddin", L"VNXAddin Class"},
  };
  for (const Described& d : described) {
    ComPtr<ITypeInfo> type;
    ASSERT_EQ(library->GetTypeInfoOfGuid(*d.guid, type.GetAddressOf()), S_OK) << d.name;
    BSTR name = nullptr, help = nullptr;
    ASSERT_EQ(type->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, d.name);
    EXPECT_STREQ(help, d.help);
    SysFreeString(name);
    SysFreeString(help);
  }
  BSTR name = nullptr, help = nullptr;
  ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
  EXPECT_STREQ(name, L"VARNOXMAILLib");
  EXPECT_STREQ(help, L"VarnoxMail 1.0 Type Library");
  SysFreeString(name);
  SysFreeString(help);

  // No members of its own: names are unknown, and nothing can be invoked.
  DISPID id = 0;
  LPOLESTR member = const_cast<LPOLESTR>(L"Anything");
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &member, 1, 0, &id), DISP_E_UNKNOWNNAME);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_TRUE(
      FAILED(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr)));
}

}  // namespace
}  // namespace varnox::win
