#pragma once
// The overlap indices as files: each index's name, and its matrix written as a CSV table with
// the animals as header row and first column, as the command line and the dialog write them.

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "range/overlap/overlap_indices.h"

namespace orvex::range {

/// HR, PHR, VI, BA, UDOI, HD, in OverlapIndex order.
inline constexpr std::array<const char*, kOverlapIndexCount> kOverlapIndexNames{"HR", "PHR",  "VI",
                                                                                "BA", "UDOI", "HD"};

/// The index named `name` (upper case, as kOverlapIndexNames spells it); -1 for none.
int overlap_index_of(const std::string& name);

/// Writes `path`: "animal" and the animals as the header row, then one row per animal, its name
/// and the index against every animal in order (row i, column j as OverlapMatrices holds it), in
/// full precision ("%.17g", NaN as "NaN"); CSV fields quoted where they must be. Returns the
/// rows. Throws host::Error (kDataError) naming the file when it cannot be written.
std::vector<std::vector<double>> write_overlap_csv(const std::filesystem::path& path,
                                                   const std::vector<std::string>& animals,
                                                   const OverlapMatrices& matrices, OverlapIndex index);

}  // namespace orvex::range
