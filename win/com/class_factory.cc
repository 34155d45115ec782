#include "win/com/class_factory.h"

#include <mutex>
#include <new>

#include "platform/module_lock.h"
#include "win/com/com_addin.h"

namespace varnox::win {
namespace {

std::mutex g_factory_mutex;
AddinClassFactory* g_factory = nullptr;

}  // namespace

AddinClassFactory* AddinClassFactory::Instance() {
  std::lock_guard<std::mutex> guard(g_factory_mutex);
  if (g_factory == nullptr)
    g_factory = new (std::nothrow) AddinClassFactory();
  return g_factory;
}

void AddinClassFactory::FreeInstance() {
  std::lock_guard<std::mutex> guard(g_factory_mutex);
  if (g_factory != nullptr)
    g_factory->Release();
  g_factory = nullptr;
}

HRESULT AddinClassFactory::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG AddinClassFactory::AddRef() {
  LONG count = InterlockedIncrement(&references_);
  if (count == 2)
    LockModule();  // the first reference held outside
  return static_cast<ULONG>(count);
}

ULONG AddinClassFactory::Release() {
  LONG count = InterlockedDecrement(&references_);
  if (count == 1)
    UnlockModule();  // the last reference held outside went
  if (count == 0)
    delete this;
  return static_cast<ULONG>(count);
}

HRESULT AddinClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  return ComAddin::Create(outer, riid, object);
}

HRESULT AddinClassFactory::LockServer(BOOL lock) {
  if (lock)
    LockModule();
  else
    UnlockModule();
  return S_OK;
}

}  // namespace varnox::win
