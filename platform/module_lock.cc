#include "platform/module_lock.h"

#include <atomic>

namespace varnox {
namespace {
std::atomic<long> g_lock_count{0};
}  // namespace

long LockModule() {
  return g_lock_count.fetch_add(1) + 1;
}
long UnlockModule() {
  return g_lock_count.fetch_sub(1) - 1;
}
long ModuleLockCount() {
  return g_lock_count.load();
}

}  // namespace varnox
