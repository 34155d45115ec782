// The built VarnoxMail.dll, loaded into the test process, and its exports.
#ifndef VARNOX_TESTS_WIN_ADDIN_DLL_H_
#define VARNOX_TESTS_WIN_ADDIN_DLL_H_

#include <windows.h>

#include <objbase.h>

#include <string>

namespace varnox::win::testing {

// Path of the DLL under test (set by the build).
inline std::string AddinDllPath() {
  return VARNOX_ADDIN_DLL;
}

class AddinDll {
 public:
  AddinDll() : module_(LoadLibraryA(AddinDllPath().c_str())) {
    if (module_ == nullptr)
      return;
    get_class_object = reinterpret_cast<decltype(get_class_object)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    can_unload_now = reinterpret_cast<decltype(can_unload_now)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
  }
  ~AddinDll() {
    if (module_ != nullptr)
      FreeLibrary(module_);
  }
  AddinDll(const AddinDll&) = delete;
  AddinDll& operator=(const AddinDll&) = delete;

  bool loaded() const {
    return module_ != nullptr && get_class_object != nullptr && can_unload_now != nullptr;
  }
  HMODULE module() const { return module_; }

  HRESULT(STDAPICALLTYPE* get_class_object)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* can_unload_now)() = nullptr;

 private:
  HMODULE module_;
};

}  // namespace varnox::win::testing

#endif  // VARNOX_TESTS_WIN_ADDIN_DLL_H_
