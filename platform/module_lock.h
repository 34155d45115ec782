// The module lock count: while it is non-zero the add-in module must not be
// unloaded (DllCanUnloadNow answers S_FALSE). Every live add-in object, every
// LockServer(true) not yet undone, and every ProcessNewItem call in progress
// holds one count. Changed with interlocked operations; any thread may call.
#ifndef VARNOX_PLATFORM_MODULE_LOCK_H_
#define VARNOX_PLATFORM_MODULE_LOCK_H_

namespace varnox {

long LockModule();    // returns the count after the increment
long UnlockModule();  // returns the count after the decrement
long ModuleLockCount();

// Holds one count for its scope.
class ModuleLockHolder {
 public:
  ModuleLockHolder() { LockModule(); }
  ~ModuleLockHolder() { UnlockModule(); }
  ModuleLockHolder(const ModuleLockHolder&) = delete;
  ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;
};

}  // namespace varnox

#endif  // VARNOX_PLATFORM_MODULE_LOCK_H_
