// VarnoxRegister.exe: registers or unregisters a VarnoxMail.dll of its own
// pointer size through the DLL's own DllRegisterServer or
// DllUnregisterServer, as regsvr32 does, and optionally for the current user
// only. The setup program runs one of these per DLL it installs.
//
//   VarnoxRegister.exe [/u] [/user] PATH\VarnoxMail.dll
//
// /user maps HKEY_CLASSES_ROOT of this process to HKCU\Software\Classes (and
// asks the type library to follow it), so that the COM class is the current
// user's and no administrator rights are needed; the add-in's Outlook key is
// under HKCU either way. Exit status 0 when the DLL's entry point succeeded,
// otherwise its status (or E_INVALIDARG for a bad command line).
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>

namespace {

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

struct Request {
  bool unregister = false;
  bool per_user = false;
  std::wstring dll;
};

bool ParseCommandLine(Request* request) {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr)
    return false;
  bool ok = true;
  for (int i = 1; i < count && ok; ++i) {
    const std::wstring word = words[i];
    if (word == L"/u")
      request->unregister = true;
    else if (word == L"/user")
      request->per_user = true;
    else if (request->dll.empty() && !word.empty() && word[0] != L'/')
      request->dll = word;
    else
      ok = false;
  }
  LocalFree(words);
  return ok && !request->dll.empty();
}

// HKEY_CLASSES_ROOT of this process becomes HKCU\Software\Classes.
HRESULT MapClassesToCurrentUser() {
  HKEY classes = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &classes, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes);
    RegCloseKey(classes);
  }
  if (status != ERROR_SUCCESS)
    return HRESULT_FROM_WIN32(status);
  // Without this, type library registration writes the machine's classes
  // whatever the mapping (Windows Vista and later have it).
  using Enable = HRESULT(STDAPICALLTYPE*)();
  HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
  auto enable = reinterpret_cast<Enable>(reinterpret_cast<void*>(
      oleaut != nullptr ? GetProcAddress(oleaut, "OaEnablePerUserTLibRegistration") : nullptr));
  if (enable != nullptr)
    enable();
  return S_OK;
}

HRESULT Run(const Request& request) {
  if (request.per_user) {
    HRESULT hr = MapClassesToCurrentUser();
    if (FAILED(hr))
      return hr;
  }
  HMODULE dll = LoadLibraryExW(request.dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (dll == nullptr)
    return HRESULT_FROM_WIN32(GetLastError());
  auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(
      GetProcAddress(dll, request.unregister ? "DllUnregisterServer" : "DllRegisterServer")));
  const HRESULT hr = entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  FreeLibrary(dll);
  return hr;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Request request;
  if (!ParseCommandLine(&request))
    return static_cast<int>(E_INVALIDARG);
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const HRESULT hr = Run(request);
  if (SUCCEEDED(init))
    CoUninitialize();
  return SUCCEEDED(hr) ? 0 : static_cast<int>(hr);
}
