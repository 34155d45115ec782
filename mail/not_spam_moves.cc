#include "mail/not_spam_moves.h"

#include <algorithm>
#include <utility>

namespace varnox {

void NotSpamMoves::Remember(std::string identity) {
  if (identity.empty())
    return;
  if (moved_.size() == kMaxRemembered)
    moved_.pop_front();
  moved_.push_back(std::move(identity));
}

bool NotSpamMoves::TakeArrival(std::string_view identity) {
  // Newest first: the arrival usually follows its move closely.
  const auto found = std::find(moved_.rbegin(), moved_.rend(), identity);
  if (found == moved_.rend())
    return false;
  moved_.erase(std::next(found).base());
  return true;
}

}  // namespace varnox
