// VarnoxMail.dll's entry points: the four exports (see VarnoxMail.def) and
// DllMain.
#include "win/com/module.h"

#include <windows.h>

#include <oleauto.h>

#include <map>

#include "platform/module_lock.h"
#include "win/com/addin_connection.h"
#include "win/com/class_factory.h"
#include "win/com/com_addin.h"
#include "win/com/com_ids.h"
#include "win/com/win_registrar_target.h"
#include "win/platform/wide_text.h"

namespace varnox::win {
namespace {

HINSTANCE g_instance = nullptr;

constexpr WORD kRegistryScriptId = 101;

}  // namespace

HINSTANCE ModuleInstance() {
  return g_instance;
}

std::wstring ModulePathWide() {
  // Paths may be longer than MAX_PATH; the buffer grows until the name fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(g_instance, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768)
      return {};
    path.resize(path.size() * 2);
  }
}

HResult LoadRegistrationScript(const std::string& module_path_utf8, RegistrarScript* script) {
  HRSRC resource = FindResourceW(g_instance, MAKEINTRESOURCEW(kRegistryScriptId), L"REGISTRY");
  if (resource == nullptr)
    return HRESULT_FROM_WIN32(GetLastError());
  HGLOBAL loaded = LoadResource(g_instance, resource);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr)
    return HRESULT_FROM_WIN32(GetLastError());
  // The script is code page 1252; it is carried out in UTF-8, the module
  // path's own.
  const std::string text = NarrowToUtf8(WidenFrom1252(
      std::string_view(static_cast<const char*>(data), SizeofResource(g_instance, resource))));
  std::string error;
  if (!script->Parse(text, {{"MODULE", module_path_utf8}}, &error))
    return kScriptSyntaxError;
  return kSOk;
}

}  // namespace varnox::win

using varnox::win::AddinClassFactory;
using varnox::win::kClsidVnxAddin;
using varnox::win::kLibidVarnoxMail;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    varnox::win::g_instance = instance;
    DisableThreadLibraryCalls(instance);
    varnox::win::ComAddin::SetConnectionFactory(&varnox::win::MakePortableAddin);
  } else if (reason == DLL_PROCESS_DETACH) {
    AddinClassFactory::FreeInstance();
  }
  return TRUE;
}

// Writes the script's keys, then registers the embedded type library under
// the module's path. Stops at the first failure.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  varnox::win::RegistrarScript script;
  HRESULT hr = varnox::win::LoadRegistrationScript(
      varnox::win::NarrowToUtf8(varnox::win::ModulePathWide()), &script);
  if (FAILED(hr))
    return hr;
  varnox::win::WinRegistrarTarget registry;
  hr = script.Register(registry);
  if (FAILED(hr))
    return hr;
  ITypeLib* library = nullptr;
  hr = LoadTypeLibEx(varnox::win::ModulePathWide().c_str(), REGKIND_REGISTER, &library);
  if (library != nullptr)
    library->Release();
  return hr;
}

// Removes the script's keys, then the type library's registration.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  varnox::win::RegistrarScript script;
  HRESULT hr = varnox::win::LoadRegistrationScript(
      varnox::win::NarrowToUtf8(varnox::win::ModulePathWide()), &script);
  if (FAILED(hr))
    return hr;
  varnox::win::WinRegistrarTarget registry;
  hr = script.Unregister(registry);
  if (FAILED(hr))
    return hr;
  // A type library that is not registered is already what was asked for.
  BSTR registered = nullptr;
  if (FAILED(QueryPathOfRegTypeLib(kLibidVarnoxMail, varnox::win::kTypeLibMajor,
                                   varnox::win::kTypeLibMinor, varnox::win::kTypeLibLocale,
                                   &registered))) {
    return S_OK;
  }
  SysFreeString(registered);
  return UnRegisterTypeLib(kLibidVarnoxMail, varnox::win::kTypeLibMajor, varnox::win::kTypeLibMinor,
                           varnox::win::kTypeLibLocale, varnox::win::kTypeLibSysKind);
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, kClsidVnxAddin))
    return CLASS_E_CLASSNOTAVAILABLE;
  AddinClassFactory* factory = AddinClassFactory::Instance();
  if (factory == nullptr)
    return E_OUTOFMEMORY;
  return factory->QueryInterface(riid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return varnox::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}
