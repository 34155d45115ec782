// The clock seam. Times in the core are 32-bit Unix times in seconds, as the
// word database stores them.
#ifndef VARNOX_PLATFORM_CLOCK_H_
#define VARNOX_PLATFORM_CLOCK_H_

#include <cstdint>

namespace varnox {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 UTC, truncated to 32 bits as time() would be.
  virtual std::int32_t Now() = 0;
};

// time() on every host.
class SystemClock final : public Clock {
 public:
  std::int32_t Now() override;
};

// A clock that tests set by hand.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::int32_t now = 1'700'000'000) : now_(now) {}
  std::int32_t Now() override { return now_; }
  void Set(std::int32_t now) { now_ = now; }
  void Advance(std::int32_t seconds) { now_ += seconds; }

 private:
  std::int32_t now_;
};

}  // namespace varnox

#endif  // VARNOX_PLATFORM_CLOCK_H_
