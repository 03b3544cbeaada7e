#pragma once
// What the LoCoH command line and the LoCoH dialog share beyond the estimator: reading the
// parameter and the isopleth list, naming an animal's files, and writing its isopleths and hulls
// as polygon feature classes through the host.

#include <optional>
#include <string>
#include <vector>

#include "host/row.h"
#include "host/spatial_reference.h"
#include "range/locoh/locoh_isopleths.h"

namespace orvex::host {
class Cursor;
class Workspace;
}  // namespace orvex::host

namespace orvex::range {

/// One animal's fixes as read: the value of its ID field as text, and each fix's position and
/// object id in reading order.
struct LocohAnimal {
  std::string id;
  std::vector<double> x, y;
  std::vector<host::ObjectId> oids;
};

/// The fixes of `rows` grouped by the value of field `id_field`, animals in ascending ID order
/// (numbers by value, text by text). A row without an ID (empty, or empty text) or without a
/// point belongs to no animal.
std::vector<LocohAnimal> read_locoh_animals(host::Cursor& rows, int id_field);

/// The isopleths asked for when none are given.
inline constexpr const char* kLocohDefaultIsopleths = "10,20,30,40,50,60,70,80,90,100";

/// "k", "r" or "a"; nothing for any other text.
std::optional<LocohMethod> locoh_method_of(const std::string& text);
const char* locoh_method_name(LocohMethod method);

/// Why `value` cannot be the parameter of `method` (k: a whole number from 1 to 10^9; r and a: a
/// positive finite distance); empty when it can.
std::string locoh_parameter_problem(LocohMethod method, std::optional<double> value);

/// The percents of a comma-separated list, each in (0, 100]; nothing when the text is not one.
std::optional<std::vector<double>> locoh_percents_of(const std::string& text);

/// A file name part from an animal's ID: letters, digits, '-', '_' and '.' kept, others '_';
/// "animal" for an empty ID. Two IDs may give the same part: the caller keeps the first.
std::string locoh_file_stem(const std::string& id);

/// Writes the polygon class `name` (replacing one of that name) with one feature per isopleth,
/// in the order given: "Percent", "Area" and "NFixes"; an isopleth without area has no shape.
/// Returns the areas in feature order. Throws what the workspace throws.
std::vector<double> write_locoh_isopleths(host::Workspace& workspace, const std::string& name,
                                          const host::SpatialReferencePtr& crs,
                                          const std::vector<LocohIsopleth>& isopleths);

/// Writes the polygon class `name` (replacing one of that name) with the hulls of 3 or more
/// corners in union order: "Order" (1 for the first), "FixFID" (fix_ids[hull.fix]), "NFixes",
/// "Area" and "Percent" (the cumulative percent of distinct fixes). Throws what the workspace
/// throws.
void write_locoh_hulls(host::Workspace& workspace, const std::string& name,
                       const host::SpatialReferencePtr& crs, const LocohHulls& hulls,
                       const std::vector<host::ObjectId>& fix_ids);

}  // namespace orvex::range
