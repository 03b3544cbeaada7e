// In-place edits killed at points spread over their run (the 50,000-fix runs are in long/).

#include "robustness/kill_support.h"

namespace {

using orvex::test::killAtPointsOf;

constexpr int kFixes = 3000;
constexpr int kKillPoints = 6;
constexpr int kSwitchKillPoints = 4;

TEST(KilledEdits, TravelLeavesTheOriginalOrTheResult) {
  killAtPointsOf("travel", kFixes, kKillPoints, kSwitchKillPoints);
}
TEST(KilledEdits, DedupTimeLeavesTheOriginalOrTheResult) {
  killAtPointsOf("dedup-time", kFixes, kKillPoints, kSwitchKillPoints);
}
TEST(KilledEdits, DedupXyLeavesTheOriginalOrTheResult) {
  killAtPointsOf("dedup-xy", kFixes, kKillPoints, kSwitchKillPoints);
}

}  // namespace
