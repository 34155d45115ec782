// The mail that Not Spam moved out of the spam folder, remembered by the
// host's identity of each moved item until the item-added event that the
// move causes reaches the pipeline: the user's correction is not judged
// again (and, with words still leaning to spam, undone at once).
//
// Each identity is taken back by its arrival. Moves whose arrival never
// comes (a destination that is not watched) stay until the memory is full;
// then the oldest are forgotten first, so the memory stays bounded whatever
// the user does. Used on the host's user-interface thread only.
#ifndef VARNOX_MAIL_NOT_SPAM_MOVES_H_
#define VARNOX_MAIL_NOT_SPAM_MOVES_H_

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace varnox {

class NotSpamMoves {
 public:
  // The most moves remembered at once; far more than one Not Spam run over
  // a full spam folder usually holds.
  static constexpr std::size_t kMaxRemembered = 10000;

  // Remembers a moved item. An empty identity names nothing and is ignored.
  void Remember(std::string identity);
  // True, and the identity forgotten, when `identity` was remembered: the
  // arrival of an item Not Spam moved.
  bool TakeArrival(std::string_view identity);
  bool empty() const { return moved_.empty(); }
  std::size_t size() const { return moved_.size(); }

 private:
  std::deque<std::string> moved_;  // oldest first
};

}  // namespace varnox

#endif  // VARNOX_MAIL_NOT_SPAM_MOVES_H_
