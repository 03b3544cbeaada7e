#include "apps/orvex/run_summary.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>

#include "apps/orvex/global_options.h"

namespace orvex::cli {
namespace {

using Json = nlohmann::ordered_json;

/// Length of the well-formed UTF-8 sequence at the start of `text` (overlong forms, surrogates
/// and code points past U+10FFFF are not), 0 when there is none.
std::size_t utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  // The second byte's range that excludes overlong forms, surrogates and past U+10FFFF.
  if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) ||
      (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F))
    return 0;
  return length;
}

}  // namespace

std::string validUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = utf8SequenceLength(text);
    if (length > 0) {
      valid.append(text.substr(0, length));
      text.remove_prefix(length);
      continue;
    }
    // Read as Latin-1: the byte becomes the code point of its value, two bytes of UTF-8.
    const auto byte = static_cast<unsigned char>(text.front());
    valid += static_cast<char>(0xC0 | (byte >> 6));
    valid += static_cast<char>(0x80 | (byte & 0x3F));
    text.remove_prefix(1);
  }
  return valid;
}

namespace {

void putValues(Json& object, const host::RecordValues& values) {
  if (!values.inputLayer.empty()) object["input_layer"] = validUtf8(values.inputLayer);
  if (!values.animal.empty()) object["animal"] = validUtf8(values.animal);
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
  Json object{{"path", validUtf8(record.path.string())}, {"kind", host::outputKindName(record.kind)}};
  if (!record.layer.empty()) object["layer"] = validUtf8(record.layer);
  if (record.features) object["features"] = *record.features;
  putValues(object, record.values);
  return object;
}

Json failureJson(const host::FailureRecord& record) {
  Json object{{"item", validUtf8(record.item)},
              {"kind", host::failureKindName(record.kind)},
              {"reason", validUtf8(record.reason)}};
  if (!record.path.empty()) object["path"] = validUtf8(record.path.string());
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
  // Every text of the summary came through validUtf8 or is ours: dumping cannot throw.
  out << summary.dump(2) << '\n';
}

}  // namespace orvex::cli
