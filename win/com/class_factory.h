// The class factory of VNXAddin. One factory exists per module, made on the
// first request and kept until the module is unloaded; while anyone outside
// holds it, it holds one module lock count.
#ifndef VARNOX_WIN_COM_CLASS_FACTORY_H_
#define VARNOX_WIN_COM_CLASS_FACTORY_H_

#include <windows.h>

#include <unknwn.h>

namespace varnox::win {

class AddinClassFactory final : public IClassFactory {
 public:
  // The module's factory, made under the module's lock on first use; null
  // when memory ran out.
  static AddinClassFactory* Instance();
  // Drops the module's own reference (at unload).
  static void FreeInstance();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  // Raises or lowers the module lock count by one.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  AddinClassFactory() = default;
  ~AddinClassFactory() = default;

  // The module's own reference is the first; every one beyond it is held
  // outside and locks the module.
  LONG references_ = 1;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_COM_CLASS_FACTORY_H_
