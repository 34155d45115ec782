#include "mail/not_spam_moves.h"

#include <gtest/gtest.h>

#include <string>

namespace varnox {
namespace {

TEST(NotSpamMoves, EachArrivalTakesItsMoveOnce) {
  NotSpamMoves moves;
  moves.Remember("a");
  moves.Remember("b");
  moves.Remember("a");  // moved out twice before either arrival
  moves.Remember("");
  EXPECT_EQ(moves.size(), 3u) << "an empty identity names nothing";
  EXPECT_FALSE(moves.TakeArrival(""));
  EXPECT_FALSE(moves.TakeArrival("c"));
  EXPECT_TRUE(moves.TakeArrival("a"));
  EXPECT_TRUE(moves.TakeArrival("a"));
  EXPECT_FALSE(moves.TakeArrival("a"));
  EXPECT_TRUE(moves.TakeArrival("b"));
  EXPECT_TRUE(moves.empty());
}

TEST(NotSpamMoves, AFullMemoryForgetsTheOldestFirst) {
  NotSpamMoves moves;
  for (std::size_t i = 0; i <= NotSpamMoves::kMaxRemembered; ++i)
    moves.Remember("entry " + std::to_string(i));
  EXPECT_EQ(moves.size(), NotSpamMoves::kMaxRemembered);
  EXPECT_FALSE(moves.TakeArrival("entry 0"));
  EXPECT_TRUE(moves.TakeArrival("entry 1"));
  EXPECT_TRUE(moves.TakeArrival("entry " + std::to_string(NotSpamMoves::kMaxRemembered)));
}

}  // namespace
}  // namespace varnox
