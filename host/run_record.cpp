#include "host/run_record.h"

#include <algorithm>

namespace orvex::host {

std::string_view outputKindName(OutputKind kind) {
  switch (kind) {
    case OutputKind::Shapefile:
      return "shapefile";
    case OutputKind::Raster:
      return "raster";
    case OutputKind::Log:
      return "log";
    case OutputKind::Settings:
      return "settings";
    case OutputKind::Table:
      return "table";
    case OutputKind::Picture:
      return "picture";
    case OutputKind::Other:
      break;
  }
  return "other";
}

std::string_view failureKindName(FailureKind kind) {
  switch (kind) {
    case FailureKind::Cancelled:
      return "cancelled";
    case FailureKind::Skipped:
      return "skipped";
    case FailureKind::Failed:
      break;
  }
  return "failed";
}

void RunRecord::output(OutputRecord record) {
  const auto same = std::find_if(outputs_.begin(), outputs_.end(),
                                 [&](const OutputRecord& known) { return known.path == record.path; });
  if (same != outputs_.end())
    *same = std::move(record);
  else
    outputs_.push_back(std::move(record));
}

void RunRecord::failure(FailureRecord record) { failures_.push_back(std::move(record)); }

bool RunRecord::anyFailed() const {
  return std::any_of(failures_.begin(), failures_.end(),
                     [](const FailureRecord& record) { return record.kind != FailureKind::Skipped; });
}

void RunRecord::clear() {
  outputs_.clear();
  failures_.clear();
  warnings_.clear();
}

bool RunRecord::report(double fraction, std::string_view message) const {
  return !progress_ || progress_(fraction, message);
}

}  // namespace orvex::host
