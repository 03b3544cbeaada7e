#include "platform/gdal/srs_warm_up.h"

#include <cpl_string.h>

#include <system_error>

#include "platform/gdal/gdal_session.h"
#include "platform/gdal/spatial_refs.h"

namespace orvex::platform::gdal {
namespace {

/// The PROJ work an output in `wkt` brings, in the order the writing thread meets it; `stop`
/// is looked at between steps.
void warmUp(const std::string& wkt, const std::atomic<bool>& stop) {
  ErrorCollector quiet;
  try {
    // The process-wide part: the database, its schema and the reading of the text.
    SpatialRefPtr srs = srsFromWkt(wkt);
    if (stop) return;
    // A shapefile writer's .prj, and the check that reads it back.
    const std::string prj = srsShapefilePrj(*srs);
    if (stop) return;
    CPLStringList lines;
    lines.AddString(prj.c_str());
    (void)prjLinesRead(lines.List());
  } catch (...) {
    // Not ready then (an unreadable text, or no memory): the writing thread meets and reports
    // the failure itself. Nothing may escape a helper thread.
  }
}

}  // namespace

SrsWarmUp::~SrsWarmUp() {
  stop_ = true;
  finish();
}

void SrsWarmUp::start(std::string wkt) {
  std::lock_guard lock(mutex_);
  if (running_ || wkt.empty() || started_.contains(wkt)) return;
  if (helper_.joinable()) helper_.join();  // done: `running_` is false
  started_.insert(wkt);
  ensureGdalErrors();
  running_ = true;
  try {
    helper_ = std::thread([this, text = std::move(wkt)] {
      warmUp(text, stop_);
      running_ = false;
    });
  } catch (const std::system_error&) {
    running_ = false;  // no thread to spare: the writing thread does the work itself
  }
}

void SrsWarmUp::finish() {
  std::lock_guard lock(mutex_);
  if (helper_.joinable()) helper_.join();
}

}  // namespace orvex::platform::gdal
