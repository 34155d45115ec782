#include "engine/registered_domain.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "platform/ascii_case.h"

namespace varnox {
namespace {

constexpr std::string_view kRules[] = {
#include "engine/public_suffixes.inc"
};

constexpr std::size_t kMaxHost = 255;

// What the rules say of one suffix (a run of labels at a name's end).
enum : std::uint8_t {
  kSuffix = 1,       // a rule names it: "co.uk"
  kWildcard = 2,     // every label under it is a suffix: "*.ck"
  kException = 4,    // not a suffix, though a wildcard covers it: "!www.ck"
  kLongerRules = 8,  // some rule ends with it and is longer
};

// Every suffix that a rule names or ends with, with what the rules say of
// it: looked up from the right, a name's suffixes stop at the first that no
// rule reaches.
const std::unordered_map<std::string_view, std::uint8_t>& Suffixes() {
  static const auto* const suffixes = [] {
    auto* map = new std::unordered_map<std::string_view, std::uint8_t>();
    map->reserve(2 * std::size(kRules));
    for (std::string_view rule : kRules) {
      std::uint8_t flag = kSuffix;
      if (rule.starts_with("!")) {
        flag = kException;
        rule.remove_prefix(1);
      } else if (rule.starts_with("*.")) {
        flag = kWildcard;
        rule.remove_prefix(2);
      }
      (*map)[rule] |= flag;
      for (std::size_t dot = rule.find('.'); dot != std::string_view::npos;
           dot = rule.find('.', dot + 1))
        (*map)[rule.substr(dot + 1)] |= kLongerRules;
    }
    return map;
  }();
  return *suffixes;
}

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z');
}

}  // namespace

std::string_view RegisteredDomain(std::string_view host) {
  if (host.empty() || host.size() > kMaxHost)
    return {};
  std::array<char, kMaxHost> lowered;
  for (std::size_t i = 0; i < host.size(); ++i)
    lowered[i] = ascii::ToLower(host[i]);
  const std::string_view name(lowered.data(), host.size());
  // The starts of the labels, from the last one back.
  std::array<std::size_t, kMaxHost / 2 + 1> starts;
  std::size_t labels = 0;
  for (std::size_t end = name.size();;) {
    if (end == 0)
      return {};  // an empty label first
    const std::size_t dot = name.rfind('.', end - 1);
    const std::size_t start = dot == std::string_view::npos ? 0 : dot + 1;
    if (start == end)
      return {};  // an empty label
    starts[labels++] = start;
    if (dot == std::string_view::npos)
      break;
    end = dot;
  }
  const std::string_view top = name.substr(starts[0]);
  bool letters = top.size() >= 2;
  for (char c : top)
    letters = letters && IsLetter(c);
  if (!letters && !top.starts_with("xn--"))
    return {};

  // The longest suffix the rules make public; a top-level domain no rule
  // names is one all the same.
  const auto& suffixes = Suffixes();
  std::size_t suffix_labels = 1;
  std::uint8_t shorter = 0;  // what the rules say of the suffix one label shorter
  for (std::size_t k = 1; k <= labels; ++k) {
    const auto found = suffixes.find(name.substr(starts[k - 1]));
    const std::uint8_t flags = found == suffixes.end() ? 0 : found->second;
    if ((flags & kException) != 0) {
      suffix_labels = k - 1;
      break;
    }
    if ((flags & kSuffix) != 0 || (shorter & kWildcard) != 0)
      suffix_labels = k;
    if ((flags & (kLongerRules | kWildcard)) == 0)
      break;
    shorter = flags;
  }
  if (labels <= suffix_labels)
    return {};
  return host.substr(starts[suffix_labels]);
}

}  // namespace varnox
