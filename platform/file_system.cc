#include "platform/file_system.h"

#include <string>

namespace varnox {
namespace {

constexpr std::string_view kTemporarySuffix = ".tmp.";

}  // namespace

std::string TemporaryCopyPath(const std::string& path, unsigned long processId) {
  return path + std::string(kTemporarySuffix) + std::to_string(processId);
}

unsigned long TemporaryCopyWriter(std::string_view name, std::string_view base) {
  if (base.empty() || !name.starts_with(base))
    return 0;
  name.remove_prefix(base.size());
  if (!name.starts_with(kTemporarySuffix))
    return 0;
  name.remove_prefix(kTemporarySuffix.size());
  // Only what std::to_string writes: no sign, no leading zero, 32 bits.
  if (name.empty() || name.size() > 10 || name[0] == '0')
    return 0;
  unsigned long long id = 0;
  for (char c : name) {
    if (c < '0' || c > '9')
      return 0;
    id = id * 10 + static_cast<unsigned>(c - '0');
  }
  return id <= 0xFFFFFFFFull ? static_cast<unsigned long>(id) : 0;
}

}  // namespace varnox
