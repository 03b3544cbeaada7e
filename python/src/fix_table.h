#pragma once
// The fixes of a point layer split by animal, as the KDE tool splits them: animals in the order
// of their sorted identifiers, each animal's fixes in the layer's order.

#include <string>
#include <vector>

namespace orvex::python {

struct AnimalTrack {
  /// The identifier as the command line prints it: the text of a text field, else the
  /// 32-bit integer of the value.
  std::string id;
  std::vector<double> x, y;
  /// Seconds of the time field; NaN where it is empty or not a number (and everywhere when the
  /// layer has no such field).
  std::vector<double> t;
};

struct FixTable {
  std::vector<AnimalTrack> animals;
  /// WKT of the layer's coordinate system; empty when it has none.
  std::string crsWkt;
};

/// Reads "FILE" or "FILE|layername=NAME" in one pass. `where` (the command line's dialect)
/// limits the fixes. Throws host::Error with the command line's messages: a missing file, a
/// missing ID field, a point without geometry, a malformed where-clause.
FixTable readFixTable(const std::string& path, const std::string& idField, const std::string& timeField,
                      const std::string& where);

}  // namespace orvex::python
