#include "platform/clock.h"

#include <ctime>

namespace varnox {

std::int32_t SystemClock::Now() {
  return static_cast<std::int32_t>(std::time(nullptr));
}

}  // namespace varnox
