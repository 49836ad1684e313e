// The owner of Win32 handles: each handle is closed once, by its last owner,
// however the owners are moved.
#include <gtest/gtest.h>

#include <vector>

#include "ui/Win32Handle.h"

namespace {

// Handles are small numbers; the closer notes what it closed.
struct TNoteClose {
  std::vector<int>* Closed = nullptr;
  void operator()(int handle) const { Closed->push_back(handle); }
};
using TNoted = TWin32Handle<int, TNoteClose>;

TEST(Win32HandleTest, MovedHandleIsClosedOnceByItsLastOwner) {
  std::vector<int> closed;
  {
    TNoted first(7, TNoteClose{&closed});
    TNoted second(std::move(first));
    EXPECT_FALSE(first);  // the moved-from owner holds nothing
    EXPECT_EQ(second.Get(), 7);
    TNoted third;
    third = std::move(second);
    EXPECT_TRUE(closed.empty());
  }
  EXPECT_EQ(closed, std::vector<int>{7});
}

TEST(Win32HandleTest, AssignmentClosesWhatTheTargetHeld) {
  std::vector<int> closed;
  TNoted target(1, TNoteClose{&closed});
  target = TNoted(2, TNoteClose{&closed});
  EXPECT_EQ(closed, std::vector<int>{1});
  target.Reset();
  target.Reset();  // nothing left to close
  EXPECT_EQ(closed, (std::vector<int>{1, 2}));
}

}  // namespace
