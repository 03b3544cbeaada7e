#pragma once
// What the range tools' batch runs share around their own steps: the refusal of settings that
// fail their check, the lookups and checks before anything is written (the point layer, its
// coordinate system, the output folder), the refusal of a naming conflict, the run log, the
// end of a run (complete, stopped by the person, or stopped by an error) and the guard that
// turns errors into that report.

#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "host/error.h"
#include "host/spatial_reference.h"

namespace orvex::host {
class Application;
class FeatureLayer;
}  // namespace orvex::host

namespace orvex::range {

/// Shows the settings check's `error` in a message box and records it as the run's failed item.
void RefuseSettings(host::Application& application, const std::string& error);

/// Shows "<tool>: <description>" in a message box and records the run as failed with it.
void ReportRunFailure(host::Application& application, std::string_view tool, const std::string& description);

/// `steps()`, with a host error (unless host::errorsPassThrough()) or exhausted memory handed to
/// `fail` as its description; what `fail` returns is the result.
template <class Steps, class Fail>
auto RunGuarded(Steps&& steps, Fail&& fail) -> decltype(steps()) {
  try {
    return steps();
  } catch (const host::Error& e) {
    if (host::errorsPassThrough()) throw;
    return fail(e.description());
  } catch (const std::bad_alloc&) {
    return fail("Out of memory");
  }
}

/// A number as the run logs write it: up to 10 significant digits.
std::string LogNumber(double value);
/// The application clock's local time now, ISO 8601, as the run logs write it.
std::string LogTime(host::Application& application);

/// The point layer `name` of the focus map; host::Error (kNotFound) when the map has no feature
/// layer of that name or the layer no data source.
std::shared_ptr<host::FeatureLayer> FocusPointLayer(host::Application& application, const std::string& name);
/// The layer's coordinate system, else its data source's (null when neither has one).
host::SpatialReferencePtr LayerReference(const host::FeatureLayer& layer);
/// host::Error (kInvalidArgument) naming the layer when `reference` is in degrees.
void RefuseDegrees(const host::SpatialReferencePtr& reference, const std::string& layer);
/// `folder` as a path; host::Error (kPathNotFound) when it is not an existing folder.
std::filesystem::path ExistingOutputFolder(const std::string& folder);
/// The error of a layer with no fix that has a value in the ID field.
host::Error NoFixesError(const std::string& idField, const std::string& layer);

/// The message box of an output of this run's names (a "raster", "shapefile", "table") already in
/// the output folder, and the run's failed item saying so.
void RefuseNamingConflict(host::Application& application, std::string_view output);
/// The run's item cancelled by the person (the host's Cancel in the progress).
void RecordStopped(host::Application& application);
/// The message box of a run that went through: "Processing complete.".
void ReportComplete(host::Application& application);

/// A run log of CR LF lines, written as the run goes so that a stopped run leaves what it did.
/// Opening and closing throw host::Error (kFail) with the message given; a log destroyed
/// unclosed is closed quietly (the run's own error is the one reported).
class RunLog {
 public:
  RunLog(const std::filesystem::path& file, std::string failure);
  void line(const std::string& text) { out_ << text << "\r\n"; }
  void close();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::string failure_;
  std::ofstream out_;
};

}  // namespace orvex::range
