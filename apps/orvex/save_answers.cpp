#include "apps/orvex/save_answers.h"

#include <unistd.h>  // isatty

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <system_error>

#include "host/error.h"
#include "host/text.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {

namespace headless = platform::headless;

std::string fileNamePart(std::string_view name) {
  std::string part(name);
  for (char& c : part) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  if (part.empty() || part == "." || part == "..") return "_";
  return part;
}

std::string expandTemplate(std::string_view outputTemplate, std::initializer_list<TemplateField> fields) {
  std::string expanded;
  for (std::size_t i = 0; i < outputTemplate.size();) {
    const std::string_view rest = outputTemplate.substr(i);
    const auto field = std::find_if(fields.begin(), fields.end(),
                                    [&](const TemplateField& f) { return rest.starts_with(f.first); });
    if (field != fields.end()) {
      expanded += field->second;
      i += field->first.size();
    } else {
      expanded += outputTemplate[i++];
    }
  }
  return expanded;
}

bool mayReplace(headless::HeadlessApplication& application, const std::filesystem::path& path,
                const std::string& title) {
  headless::ScriptedUi& ui = application.scriptedUi();
  if (ui.choicePolicy() == headless::ChoicePolicy::Yes) return true;
  if (ui.choicePolicy() != headless::ChoicePolicy::Ask) return false;
  // Only a person can agree; without a terminal nobody is there to ask.
  if (isatty(STDIN_FILENO) == 0 || isatty(STDERR_FILENO) == 0) return false;
  const host::MessageAnswer replace =
      ui.show(host::Message{path.string() + " already exists.\nDo you want to replace it?", title,
                            host::MessageButtons::YesNo, host::MessageIcon::Exclamation});
  return replace == host::MessageAnswer::Yes;
}

std::filesystem::path withShapefileExtension(std::filesystem::path path) {
  if (!host::iequals(path.extension().string(), ".shp")) path += ".shp";
  return path;
}

std::optional<std::filesystem::path> answerSave(headless::HeadlessApplication& application,
                                                std::filesystem::path path,
                                                const host::FileDialogOptions& options,
                                                std::string_view refusal,
                                                std::set<std::filesystem::path>* taken) {
  path = std::filesystem::absolute(path).lexically_normal();
  if (taken != nullptr && !taken->insert(path).second) {
    const std::string reason = path.string() +
                               " is already an output of this run; a second result of that name "
                               "is not written (give the template a field that tells them apart)";
    application.note(options.title + ": " + reason);
    application.runRecord().failure({.item = path.filename().string(), .reason = reason, .path = path});
    return std::nullopt;
  }

  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  if (options.overwritePrompt && std::filesystem::exists(path, ignored) &&
      !mayReplace(application, path, options.title)) {
    application.note(options.title + ": " + path.string() + " exists; " + std::string(refusal) +
                     " (--yes replaces it)");
    return std::nullopt;
  }
  return path;
}

std::vector<double> storedAreas(const host::RecordValues& values) {
  std::vector<double> areas = values.areas;
  if (!values.areaDecimals) return areas;
  for (double& area : areas) {
    if (std::isfinite(area))
      area = host::parseNumber(host::cformat("%.*f", *values.areaDecimals, area)).value_or(area);
  }
  return areas;
}

void reportShapefiles(const host::RunRecord& record) {
  for (const host::OutputRecord& output : record.outputs()) {
    if (output.kind != host::OutputKind::Shapefile || !output.features) continue;
    const std::int64_t features = *output.features;
    std::string areas;
    for (const double area : storedAreas(output.values))
      areas +=
          (areas.empty() ? "" : ", ") + (std::isfinite(area) ? host::numberText(area) : std::string("null"));
    std::cout << output.path.string() << ": " << features << (features == 1 ? " feature" : " features");
    if (!areas.empty()) std::cout << ", Area " << areas;
    std::cout << '\n';
  }
}

}  // namespace orvex::cli
