// Asks COM for the add-in by its ProgID, as Outlook does when it starts:
// exit status 0 when the class is found, created and answers
// _IDTExtensibility2; otherwise it says what failed. Run by setup_test.sh.
#include <windows.h>

#include <objbase.h>

#include <cstdio>

#include "win/com_ids.h"

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"VarnoxMail.VNXAddin", &clsid);
  if (FAILED(hr)) {
    std::printf("CLSIDFromProgID: 0x%08lx\n", static_cast<unsigned long>(hr));
    return 1;
  }
  IUnknown* addin = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                        reinterpret_cast<void**>(&addin));
  if (FAILED(hr)) {
    std::printf("CoCreateInstance: 0x%08lx\n", static_cast<unsigned long>(hr));
    return 1;
  }
  IUnknown* extensibility = nullptr;
  hr = addin->QueryInterface(varnox::win::kIidIdtExtensibility2,
                             reinterpret_cast<void**>(&extensibility));
  addin->Release();
  if (FAILED(hr)) {
    std::printf("_IDTExtensibility2: 0x%08lx\n", static_cast<unsigned long>(hr));
    return 1;
  }
  extensibility->Release();
  CoUninitialize();
  return 0;
}
