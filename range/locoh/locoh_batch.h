#pragma once
// The batch run of the LoCoH dialog: per animal of a point layer, its local convex hulls
// (locoh_hulls.h) and isopleths, written through the host as "<animal>_locoh" (and on request
// "<animal>_locoh_hulls") polygon shapefiles in the output folder, the files the command line
// writes, and the run log "LOCOH_ANALYSIS.txt".

#include <optional>
#include <string>
#include <vector>

#include "range/locoh/locoh_files.h"

namespace orvex::host {
class Application;
class FeatureLayer;
}  // namespace orvex::host

namespace orvex::range {

inline constexpr const char* kLocohLogName = "LOCOH_ANALYSIS.txt";

/// The texts of the dialog's controls.
struct LocohSettings {
  std::string pointLayer{};
  std::string idField{};
  bool useSelectedOnly = false;
  LocohMethod method = LocohMethod::k;
  std::string parameter{};    ///< k, r or a (ignored with ownParameter)
  bool ownParameter = false;  ///< each animal its own suggested value (locoh_suggest.h)
  std::string isopleths = kLocohDefaultIsopleths;
  bool hulls = false;
  std::string outputFolder{};
};

/// The settings read, or the message that refuses them (naming the box and its text): no layer
/// or ID field, a parameter that locoh_parameter_problem refuses (unless ownParameter), an
/// isopleth list that is not percents in (0, 100], no output folder.
struct LocohSettingsCheck {
  double parameter = 0.0;
  std::vector<double> percents{};
  std::optional<std::string> error{};
};
LocohSettingsCheck CheckLocohSettings(const LocohSettings& settings);

/// The fixes of the layer (its selected features with `selectedOnly`) by the values of
/// `idField`, as read_locoh_animals groups them. Throws host::Error (kNotFound) when the layer
/// has no such field.
std::vector<LocohAnimal> ReadLocohAnimals(const host::FeatureLayer& layer, const std::string& idField,
                                          bool selectedOnly);

/// The parameter each animal would get from suggest_locoh_parameters, and their median over the
/// animals (k rounded to a whole number): the dialog's default. Nothing when no animal has a
/// fix.
std::optional<double> SuggestedLocohParameter(const std::vector<LocohAnimal>& animals, LocohMethod method);
double SuggestedLocohParameter(const LocohAnimal& animal, LocohMethod method);

enum class LocohBatchResult {
  Completed,    ///< every animal tried; those that failed are failed items of the run record
  CheckFailed,  ///< the settings were refused: nothing touched
  Cancelled,    ///< an output of the run's names was in the folder, or the host's Cancel
  Failed,       ///< a host error stopped the run; what was written stays
};

/// The whole run on the application's focus map, the union through the application's geometry
/// service. An animal that cannot run (no fix with area, a parameter refused) is a failed item
/// naming it, and the others still run; a layer in degrees is refused. Progress goes through
/// the run record, one step per animal; messages through the UI services. Nothing escapes
/// (unless host::errorsPassThrough()).
LocohBatchResult RunLocohBatch(host::Application& application, const LocohSettings& settings);

}  // namespace orvex::range
