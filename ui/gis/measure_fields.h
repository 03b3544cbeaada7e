#pragma once

#include <string>

#include "host/application.h"
#include "host/table.h"

namespace orvex::ui::gis {

/// Width given to the measurement fields ("LENGTH", "AREA", "PERIMETER"): 64-bit floats of 16
/// digits without decimals, widened when a value needs more.
inline constexpr int kMeasureFieldPrecision = 16;
inline constexpr int kMeasureFieldScale = 0;

/// Shown (title "Error", exclamation icon) when the length field cannot be made.
inline constexpr const char* kLengthFieldMessage =
    "Error: unable to add new length field to table. Please check you have supplied a valid field name and "
    "you "
    "have write access to the attribute table.";

/// Fills the field `fieldName` (empty: "LENGTH") of every feature with the shape's length
/// (a polygon's: its boundary) times `factor` (0: 1.0).
///
/// An existing field of that name is deleted first and the field is added again as a 64-bit
/// float (precision 16, scale 0, wider when a value needs it), so old values and type are
/// replaced. With `showProgress` the host's status bar shows "Calculating length field..."
/// with one step per feature, and is hidden at the end. Returns false after kLengthFieldMessage
/// when the field cannot be made; true otherwise, also for a class without features.
/// @throws host::Error when a feature cannot be read or written.
bool CalculateLengthField(host::Application& application, host::FeatureClass& featureClass, bool showProgress,
                          std::string fieldName = {}, double factor = 0.0);

/// As CalculateLengthField with each polygon's area, the message "Calculating areas...".
/// Returns false, without a message of its own, when the field cannot be made.
bool CalculateAreaField(host::Application& application, host::FeatureClass& featureClass,
                        std::string fieldName, double factor, bool showProgress);

/// As CalculateLengthField with each polygon's boundary length, "Calculating perimeters...".
/// Returns false, without a message of its own, when the field cannot be made.
bool CalculatePerimeterField(host::Application& application, host::FeatureClass& featureClass,
                             std::string fieldName, double factor, bool showProgress);

}  // namespace orvex::ui::gis
