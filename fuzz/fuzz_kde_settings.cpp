// libFuzzer target for the KDE settings file. Any text loads without fault, and a saved file is
// a fixed point of loading: once settings have been through one save and load (which
// upper-cases the values), saving and loading again changes nothing.

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
  const auto load = [](std::string_view from) {
    KdeSettings settings;
    (void)ApplySettingsText(from, settings, kLayers);
    return settings;
  };
  const std::string once = SettingsFileText(load(SettingsFileText(load(text))));
  if (SettingsFileText(load(once)) != once) std::abort();
  return 0;
}
