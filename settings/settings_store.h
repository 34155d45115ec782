// The user's settings: named values under the key "Software\Varnox MSOutlook"
// of the platform registry (the current user's registry on Windows, the
// settings file on Linux).
//
// Nothing is cached: every reader asks the registry at the moment of use, so
// a change saved by the Settings dialog holds for the next message. The store
// opens the key for each call and never creates it: with the key absent,
// readers give their defaults and writers write nothing.
#ifndef VARNOX_SETTINGS_SETTINGS_STORE_H_
#define VARNOX_SETTINGS_SETTINGS_STORE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace varnox {

// Value names, exactly as stored.
namespace setting {
inline constexpr char kMarkReadBeforeMoving[] = "MarkReadBeforeMoving";
inline constexpr char kConsiderNonEnglishSpam[] = "ConsiderNonEnglishSpam";
inline constexpr char kBeepAtSpam[] = "BeepAtSpam";
inline constexpr char kLearnFromMarkSpam[] = "LearnFromMarkSpam";
inline constexpr char kLearnFromNotSpam[] = "LearnFromNotSpam";
inline constexpr char kLearnFromBlackListed[] = "LearnFromBlackListed";
inline constexpr char kLearnFromWhiteListed[] = "LearnFromWhiteListed";
inline constexpr char kNotSpamFolderName[] = "NotSpamFolderName";
inline constexpr char kWordFilePath[] = "WordFilePath";
inline constexpr char kIgnoreFilePath[] = "IgnoreFilePath";
inline constexpr char kBlackListPath[] = "BlackListPath";
inline constexpr char kWhiteListPath[] = "WhiteListPath";
// Non-zero: the second judge decides instead of the classic one.
inline constexpr char kSecondJudge[] = "SecondJudge";
// Non-zero: `varnox watch` learns from the user's own moves into and out of
// the spam folder (Linux only).
inline constexpr char kLearnFromMoves[] = "LearnFromMoves";
}  // namespace setting

class SettingsStore {
 public:
  static constexpr char kKeyPath[] = "Software\\Varnox MSOutlook";
  // Every string setting is read into a buffer of this size, so at most 259
  // bytes of text are read; a longer value reads as absent.
  static constexpr std::size_t kStringBufferSize = 260;

  // `registry` must outlive the store.
  explicit SettingsStore(Registry& registry) : registry_(registry) {}

  // Primitives.
  //
  // The value's number; 0 when the key cannot be opened, the value is absent,
  // or its data is longer than four bytes. Shorter data reads as the bytes
  // stored (little-endian), the rest zero.
  std::uint32_t ReadDword(std::string_view name) const;
  // True and the text, NUL-terminated, when the value was read; false and the
  // buffer unchanged when the key cannot be opened, the value is absent, or it
  // does not fit `size` bytes with its terminator (whether or not the stored
  // data carries one).
  bool ReadString(std::string_view name, char* buffer, std::size_t size) const;
  // kErrorSuccess, or the status of opening the key (then nothing is
  // written). A failure of the set itself is not reported.
  std::int32_t WriteDword(std::string_view name, std::uint32_t value);
  // Stores the text as REG_SZ with its terminator counted.
  std::int32_t WriteString(std::string_view name, std::string_view text);

  // Convenience over ReadString with a 260-byte buffer: true and *text when
  // read; false and *text unchanged otherwise.
  bool ReadStringSetting(std::string_view name, std::string* text) const;

  // Named readers (absent DWORD = 0; any non-zero value means on).
  std::uint32_t MarkReadBeforeMoving() const { return ReadDword(setting::kMarkReadBeforeMoving); }
  std::uint32_t ConsiderNonEnglishSpam() const {
    return ReadDword(setting::kConsiderNonEnglishSpam);
  }
  std::uint32_t BeepAtSpam() const { return ReadDword(setting::kBeepAtSpam); }
  std::uint32_t LearnFromMarkSpam() const { return ReadDword(setting::kLearnFromMarkSpam); }
  std::uint32_t LearnFromNotSpam() const { return ReadDword(setting::kLearnFromNotSpam); }
  std::uint32_t LearnFromBlackListed() const { return ReadDword(setting::kLearnFromBlackListed); }
  std::uint32_t LearnFromWhiteListed() const { return ReadDword(setting::kLearnFromWhiteListed); }
  std::uint32_t SecondJudge() const { return ReadDword(setting::kSecondJudge); }
  std::uint32_t LearnFromMoves() const { return ReadDword(setting::kLearnFromMoves); }
  bool NotSpamFolderName(std::string* name) const {
    return ReadStringSetting(setting::kNotSpamFolderName, name);
  }
  bool WordFilePath(std::string* path) const {
    return ReadStringSetting(setting::kWordFilePath, path);
  }
  bool IgnoreFilePath(std::string* path) const {
    return ReadStringSetting(setting::kIgnoreFilePath, path);
  }
  bool BlackListPath(std::string* path) const {
    return ReadStringSetting(setting::kBlackListPath, path);
  }
  bool WhiteListPath(std::string* path) const {
    return ReadStringSetting(setting::kWhiteListPath, path);
  }

  // Named writers, for the values that the system writes. Callers ignore the
  // results.
  std::int32_t SetMarkReadBeforeMoving(std::uint32_t v) {
    return WriteDword(setting::kMarkReadBeforeMoving, v);
  }
  std::int32_t SetConsiderNonEnglishSpam(std::uint32_t v) {
    return WriteDword(setting::kConsiderNonEnglishSpam, v);
  }
  std::int32_t SetBeepAtSpam(std::uint32_t v) { return WriteDword(setting::kBeepAtSpam, v); }
  std::int32_t SetLearnFromMarkSpam(std::uint32_t v) {
    return WriteDword(setting::kLearnFromMarkSpam, v);
  }
  std::int32_t SetLearnFromNotSpam(std::uint32_t v) {
    return WriteDword(setting::kLearnFromNotSpam, v);
  }
  std::int32_t SetLearnFromBlackListed(std::uint32_t v) {
    return WriteDword(setting::kLearnFromBlackListed, v);
  }
  std::int32_t SetLearnFromWhiteListed(std::uint32_t v) {
    return WriteDword(setting::kLearnFromWhiteListed, v);
  }
  std::int32_t SetSecondJudge(std::uint32_t v) { return WriteDword(setting::kSecondJudge, v); }
  std::int32_t SetNotSpamFolderName(std::string_view name) {
    return WriteString(setting::kNotSpamFolderName, name);
  }

 private:
  Registry& registry_;
};

}  // namespace varnox

#endif  // VARNOX_SETTINGS_SETTINGS_STORE_H_
