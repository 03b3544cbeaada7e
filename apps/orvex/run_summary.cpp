#include "apps/orvex/run_summary.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>

#include "apps/orvex/global_options.h"

namespace orvex::cli {
namespace {

using Json = nlohmann::ordered_json;

void putValues(Json& object, const host::RecordValues& values) {
  if (!values.inputLayer.empty()) object["input_layer"] = values.inputLayer;
  if (!values.animal.empty()) object["animal"] = values.animal;
  if (values.percentage) object["percentage"] = *values.percentage;
  if (values.h) object["h"] = *values.h;
  if (values.href) object["href"] = *values.href;
  if (values.hListed) object["h_listed"] = *values.hListed;
  if (values.minimised) object["minimised"] = *values.minimised;
  if (!values.profile.empty()) {
    Json profile = Json::array();
    for (const host::ProfilePoint& point : values.profile) profile.push_back({point.h, point.score});
    object["profile"] = std::move(profile);
  }
  if (!values.areas.empty()) object["areas"] = values.areas;
  if (values.sigma1) object["sigma1"] = *values.sigma1;
  if (values.sigma2) object["sigma2"] = *values.sigma2;
  if (!values.tableIndex.empty()) object["index"] = values.tableIndex;
  if (values.conditional) object["conditional"] = *values.conditional;
  if (!values.animals.empty()) object["animals"] = values.animals;
  if (!values.matrix.empty()) object["values"] = values.matrix;
}

Json outputJson(const host::OutputRecord& record) {
  Json object{{"path", record.path.string()}, {"kind", host::outputKindName(record.kind)}};
  if (!record.layer.empty()) object["layer"] = record.layer;
  if (record.features) object["features"] = *record.features;
  putValues(object, record.values);
  return object;
}

Json failureJson(const host::FailureRecord& record) {
  Json object{{"item", record.item}, {"kind", host::failureKindName(record.kind)}, {"reason", record.reason}};
  if (!record.path.empty()) object["path"] = record.path.string();
  putValues(object, record.values);
  return object;
}

}  // namespace

void RunSummary::add(const host::RunRecord& record, const std::string& inputs) {
  // An output whose file failed to write afterwards (at its close) was removed: no output.
  for (const host::OutputRecord& output : record.outputs()) {
    const bool failedLater =
        std::any_of(record.failures().begin(), record.failures().end(), [&](const auto& failure) {
          return failure.kind == host::FailureKind::Failed && !failure.path.empty() &&
                 failure.path == output.path;
        });
    if (!failedLater) outputs_.push_back(output);
  }
  for (host::FailureRecord failure : record.failures()) {
    if (!inputs.empty() && failure.path.empty() &&
        (failure.item == "the run" || failure.item == "the selection"))
      failure.item += (failure.item == "the run" ? " on " : " of ") + inputs;
    failures_.push_back(std::move(failure));
  }
}

void RunSummary::add(const RunSummary& other) {
  outputs_.insert(outputs_.end(), other.outputs_.begin(), other.outputs_.end());
  failures_.insert(failures_.end(), other.failures_.begin(), other.failures_.end());
}

std::vector<host::FailureRecord> RunSummary::failing(bool skippedFail) const {
  std::vector<host::FailureRecord> items;
  for (const host::FailureRecord& record : failures_) {
    if (record.kind == host::FailureKind::Failed ||
        (skippedFail && record.kind == host::FailureKind::Skipped))
      items.push_back(record);
  }
  return items;
}

int RunSummary::finish(int exitCode, bool skippedFail, std::ostream& err) const {
  const std::vector<host::FailureRecord> items = failing(skippedFail);
  if (items.empty()) return exitCode;
  std::string names;
  for (const host::FailureRecord& item : items) {
    err << "orvex: nothing was written for " << item.item << ": " << item.reason << '\n';
    names += (names.empty() ? "" : ", ") + item.item;
  }
  err << "orvex: " << items.size() << (items.size() == 1 ? " item" : " items") << " failed: " << names
      << '\n';
  return exitCode == kExitSuccess ? kExitCommandFailed : exitCode;
}

void RunSummary::writeJson(std::ostream& out, int exitCode) const {
  Json summary{{"exit", exitCode}, {"outputs", Json::array()}, {"failures", Json::array()}};
  for (const host::OutputRecord& record : outputs_) summary["outputs"].push_back(outputJson(record));
  for (const host::FailureRecord& record : failures_) summary["failures"].push_back(failureJson(record));
  out << summary.dump(2) << '\n';
}

}  // namespace orvex::cli
