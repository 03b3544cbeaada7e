// libFuzzer target for the KDE settings file. Any text loads without fault; the settings it
// leaves, saved and loaded again into fresh defaults, save to the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ui/kde/kde_settings.h"
#include "ui/kde/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvex::ui;
  static const std::vector<std::string> kLayers = {"Fixes", "Reference Area"};
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  KdeSettings settings;
  (void)ApplySettingsText(text, settings, kLayers);
  const std::string saved = SettingsFileText(settings);
  KdeSettings reloaded;
  (void)ApplySettingsText(saved, reloaded, kLayers);
  if (SettingsFileText(reloaded) != saved) std::abort();
  return 0;
}
