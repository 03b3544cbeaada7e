#pragma once

// Which fixes of a selection are duplicates, found from keys read once per fix: the survivors
// the duplicate tools promise, without comparing every fix with every other.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "host/geometry.h"
#include "host/row.h"

namespace orvex::ui {

/// A selected fix and its time key.
struct TimedFix {
  host::ObjectId id = host::kNoObjectId;
  std::int64_t time = 0;
};

/// The fixes to delete so that of each group sharing a time only the member with the highest
/// id is left. Returned in the order given. Ids are expected to be distinct.
std::vector<host::ObjectId> Time2Duplicates(std::span<const TimedFix> fixes);

/// A selected fix and its shape.
struct PlacedFix {
  host::ObjectId id = host::kNoObjectId;
  host::Geometry shape;
};

/// The host's equality test of two shapes (same place within the tolerance of the first one's
/// coordinate system).
using SamePlace = std::function<bool(const host::Geometry& a, const host::Geometry& b)>;

/// The fixes to delete when the fixes are visited in the order given and each fix still
/// present deletes every other present fix at its place: the first fix met at a place
/// survives, and a fix deleted once never deletes another (no survivor is lost through a fix
/// that is already gone). Returned in the order they are deleted.
///
/// `tolerance` bounds how far apart, along x or along y, two points that `samePlace` calls
/// equal can be; only such neighbours are offered to `samePlace`, so a selection is searched in
/// close to linear time. Fixes without a position are offered only to each other. A
/// tolerance that is not a positive number is taken as exact equality of the neighbourhood
/// search only; `samePlace` always has the last word.
std::vector<host::ObjectId> PositionDuplicates(std::span<const PlacedFix> fixes, double tolerance,
                                               const SamePlace& samePlace);

}  // namespace orvex::ui
