#include "ui/kde/settings_file.h"

#include <stdlib.h>  // mkstemp
#include <sys/stat.h>
#include <unistd.h>  // close

#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>

#include "host/error.h"
#include "host/text.h"

namespace orvex::ui {

namespace {

constexpr const char* kCrLf = "\r\n";

const char* ZeroOne(bool value) { return value ? "1" : "0"; }

// The settings text's lines, without their CR LF or LF ends. A final line end does not start
// another (empty) line.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The whole number a value line converts to, rounded as the integer conversion rounds (halves
// to even); nothing for text that is not a number.
std::optional<long long> WholeNumber(std::string_view text) {
  const std::optional<double> value = host::parseNumber(text);
  if (!value || !std::isfinite(*value) || std::fabs(*value) > 2147483647.0) return std::nullopt;
  return static_cast<long long>(host::roundHalfEven(*value));
}

// "0" or "1" (as numbers: "1.0" and " 1" count too); nothing for any other value.
std::optional<bool> ZeroOrOne(std::string_view text) {
  const std::optional<long long> value = WholeNumber(text);
  if (!value || (*value != 0 && *value != 1)) return std::nullopt;
  return *value == 1;
}

// Reads the lines one after the other, as a text stream would.
class LineReader {
 public:
  explicit LineReader(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  bool atEnd() const { return next_ >= lines_.size(); }
  // The next line as written; empty past the end (callers test atEnd first).
  const std::string& raw() {
    static const std::string kNone;
    return atEnd() ? kNone : lines_[next_++];
  }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
};

const std::string* MatchLayerName(std::string_view wanted, std::span<const std::string> names) {
  for (const std::string& name : names) {
    if (name == wanted) return &name;
  }
  for (const std::string& name : names) {
    if (host::iequals(name, wanted)) return &name;
  }
  return nullptr;
}

// One load: walks the lines key by key. `current_` is the last line read, upper-cased; the
// value line a key reads is examined as the next key, as the dialog always did.
class SettingsLoader {
 public:
  SettingsLoader(std::string_view text, KdeSettings& settings,
                 std::span<const std::string> referenceLayerNames)
      : reader_(SplitLines(text)), settings_(settings), referenceLayerNames_(referenceLayerNames) {}

  SettingsLoadResult Run() {
    current_ = reader_.atEnd() ? std::string() : Next();
    // The loop stops when the current line is the text's last: a last line is never a key.
    while (!reader_.atEnd()) {
      const std::string key = current_;
      if (!ApplyKernelKey(key) && !ApplyOutputKey(key)) current_ = Next();
    }
    for (const std::string& message : result_.messages) result_.statusText += message + " ";
    result_.statusText += kStatusSettingsLoaded;
    return std::move(result_);
  }

 private:
  std::string Next() { return host::toUpperAscii(reader_.raw()); }

  // The keys of the kernel and bandwidth pages; false for any other key.
  bool ApplyKernelKey(const std::string& key) {
    if (key == "[RESCALE]") {
      current_ = Next();
      if (const auto v = ZeroOrOne(current_)) settings_.rescale = *v;
    } else if (key == "[KERNEL]") {
      current_ = Next();
      if (current_ == "TRUE") settings_.fixedKernel = true;
      if (current_ == "FALSE") settings_.fixedKernel = false;
    } else if (key == "[FORM]") {
      // Compared upper-cased with the form's mixed-case name, it never matches; the form is
      // the only one, so nothing is lost.
      current_ = Next();
    } else if (key == "[LSCV]" || key == "[BCV]" || key == "[HREF]") {
      current_ = Next();
      if (current_ == "TRUE") {
        settings_.bandwidth = key == "[LSCV]"  ? KdeBandwidthChoice::Lscv
                              : key == "[BCV]" ? KdeBandwidthChoice::Bcv
                                               : KdeBandwidthChoice::Href;
      }
    } else if (key == "[MANUAL]") {
      current_ = Next();
      settings_.bandwidth = KdeBandwidthChoice::Manual;
      settings_.manualBandwidths = current_;
    } else if (key == "[SILENT]") {
      current_ = Next();
      settings_.silent = current_ == "TRUE";
    } else {
      return false;
    }
    return true;
  }

  // The keys of the output page; false for any other key.
  bool ApplyOutputKey(const std::string& key) {
    if (key == "[OUTFOLDER]") {
      ApplyOutputFolder();
    } else if (key == "[PREFIX]") {
      current_ = Next();
      if (!current_.empty() && current_.size() <= kMaxPrefixLength) settings_.prefix = current_;
    } else if (key == "[CELLSIZE]" || key == "[SCALING]") {
      current_ = Next();
      if (host::isNumeric(current_))
        (key == "[CELLSIZE]" ? settings_.cellSize : settings_.scaling) = current_;
    } else if (key == "[VERBOSE]") {
      current_ = Next();
      if (const auto v = ZeroOrOne(current_)) settings_.verbose = *v;
    } else if (key == "[EXTENT]") {
      ApplyExtent();
    } else if (key == "[ISO]") {
      ApplyIsopleths();
    } else {
      return false;
    }
    return true;
  }

  // The folder is kept as written: folder names are case-sensitive here.
  void ApplyOutputFolder() {
    const std::string folder = reader_.raw();
    current_ = host::toUpperAscii(folder);
    if (folder.empty()) return;
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) {
      settings_.outputFolder = folder;
    } else {
      result_.messages.emplace_back(kMsgOutputFolderMissing);
    }
  }

  void ApplyExtent() {
    current_ = Next();
    if (current_ == "FULL") {
      settings_.extent = KdeExtentChoice::Full;
      if (!reader_.atEnd()) {
        current_ = Next();
        if (host::isNumeric(current_)) settings_.buffer = current_;
      }
    } else if (current_ == "MIN") {
      settings_.extent = KdeExtentChoice::Minimum;
    } else if (current_ == "REF") {
      settings_.extent = KdeExtentChoice::Reference;
      if (reader_.atEnd()) return;
      const std::string name = reader_.raw();
      current_ = host::toUpperAscii(name);
      if (const std::string* layer = MatchLayerName(name, referenceLayerNames_))
        settings_.referenceLayer = *layer;
    }
  }

  void ApplyIsopleths() {
    current_ = Next();
    if (const auto v = ZeroOrOne(current_)) settings_.isopleths = *v;
    if (current_ != "1") return;
    if (!reader_.atEnd()) {
      current_ = Next();
      settings_.isoplethPercentages = current_;
    }
    for (bool* flag : {&settings_.lines, &settings_.polygons, &settings_.donuts}) {
      if (reader_.atEnd()) break;
      current_ = Next();
      if (const auto v = ZeroOrOne(current_)) *flag = *v;
    }
  }

  LineReader reader_;
  KdeSettings& settings_;
  std::span<const std::string> referenceLayerNames_;
  SettingsLoadResult result_;
  std::string current_;
};

}  // namespace

std::string SettingsFileText(const KdeSettings& settings) {
  std::string text;
  const auto line = [&text](std::string_view value) {
    text += value;
    text += kCrLf;
  };
  line("[RESCALE]");
  line(ZeroOne(settings.rescale));
  line("[KERNEL]");
  line(settings.fixedKernel ? "True" : "False");
  line("[FORM]");
  line(settings.kernelForm);
  switch (settings.bandwidth) {
    case KdeBandwidthChoice::Lscv:
      line("[LSCV]");
      line("TRUE");
      break;
    case KdeBandwidthChoice::Bcv:
      line("[BCV]");
      line("TRUE");
      break;
    case KdeBandwidthChoice::Href:
      line("[HREF]");
      line("TRUE");
      break;
    case KdeBandwidthChoice::Manual:
      line("[MANUAL]");
      line(settings.manualBandwidths);
      break;
    case KdeBandwidthChoice::ProportionOfHref:
      break;  // the proportions are not stored
  }
  const auto optionalBlock = [&line](const char* key, const std::string& value) {
    if (value.empty()) return;
    line(key);
    line(value);
  };
  optionalBlock("[OUTFOLDER]", settings.outputFolder);
  optionalBlock("[PREFIX]", settings.prefix);
  optionalBlock("[CELLSIZE]", settings.cellSize);
  optionalBlock("[SCALING]", settings.scaling);
  line("[VERBOSE]");
  line(ZeroOne(settings.verbose));
  line("[EXTENT]");
  switch (settings.extent) {
    case KdeExtentChoice::Full:
      line("FULL");
      line(settings.buffer);
      break;
    case KdeExtentChoice::Minimum:
      line("MIN");
      break;
    case KdeExtentChoice::Reference:
      line("REF");
      line(settings.referenceLayer);
      break;
  }
  line("[ISO]");
  line(ZeroOne(settings.isopleths));
  if (settings.isopleths) {
    line(settings.isoplethPercentages);
    line(ZeroOne(settings.lines));
    line(ZeroOne(settings.polygons));
    line(ZeroOne(settings.donuts));
  }
  line("[SILENT]");
  line(settings.silent ? "TRUE" : "FALSE");
  return text;
}

void WriteWholeTextFile(const std::filesystem::path& file, std::string_view text, const std::string& what) {
  // mkstemp: a name beside the file that nobody can foresee or have made first.
  std::string partialName = file.string() + ".XXXXXX";
  const int descriptor = ::mkstemp(partialName.data());
  if (descriptor < 0)
    throw host::Error(host::kPathNotFound, "Cannot create " + what + " '" + file.string() + "'");
  const mode_t mask = ::umask(0);  // the modes of a new file of the user, not mkstemp's 0600
  ::umask(mask);
  ::fchmod(descriptor, 0666 & ~mask);
  ::close(descriptor);
  const std::filesystem::path partial = partialName;
  std::error_code error;
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) {
      std::filesystem::remove(partial, error);
      throw host::Error(host::kPathNotFound, "Cannot create " + what + " '" + file.string() + "'");
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(partial, error);
      throw host::Error(host::kDataError, "Cannot write " + what + " '" + file.string() + "'");
    }
  }
  std::filesystem::rename(partial, file, error);
  if (error) {
    std::filesystem::remove(partial, error);
    throw host::Error(host::kDataError, "Cannot write " + what + " '" + file.string() + "'");
  }
}

void WriteSettingsFile(const std::filesystem::path& file, const KdeSettings& settings) {
  WriteWholeTextFile(file, SettingsFileText(settings), "the settings file");
}

SettingsLoadResult ApplySettingsText(std::string_view text, KdeSettings& settings,
                                     std::span<const std::string> referenceLayerNames) {
  return SettingsLoader(text, settings, referenceLayerNames).Run();
}

SettingsLoadResult LoadSettingsFile(const std::filesystem::path& file, KdeSettings& settings,
                                    std::span<const std::string> referenceLayerNames) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw host::Error(host::kFileNotFound, "Cannot open the settings file '" + file.string() + "'");
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return ApplySettingsText(text, settings, referenceLayerNames);
}

}  // namespace orvex::ui
