// Status codes shared by the core, the host seam and the platform seam.
//
// The core reports the way the mail host does: 32-bit COM-style statuses,
// where a negative value is a failure. The constants carry the host's own
// numbers so that a shell can hand them through unchanged. They are named
// kXxx because the Windows headers define the original names as macros.
#ifndef VARNOX_PLATFORM_HRESULT_H_
#define VARNOX_PLATFORM_HRESULT_H_

#include <cstdint>

namespace varnox {

using HResult = std::int32_t;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kENotImpl = static_cast<HResult>(0x80004001u);
inline constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
inline constexpr HResult kEPointer = static_cast<HResult>(0x80004003u);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
inline constexpr HResult kEAccessDenied = static_cast<HResult>(0x80070005u);
inline constexpr HResult kDispEParamNotFound = static_cast<HResult>(0x80020004u);
inline constexpr HResult kClassENoAggregation = static_cast<HResult>(0x80040110u);
inline constexpr HResult kClassEClassNotAvailable = static_cast<HResult>(0x80040111u);
inline constexpr HResult kMapiENotFound = static_cast<HResult>(0x8004010Fu);

inline constexpr bool Succeeded(HResult hr) {
  return hr >= 0;
}
inline constexpr bool Failed(HResult hr) {
  return hr < 0;
}

}  // namespace varnox

#endif  // VARNOX_PLATFORM_HRESULT_H_
