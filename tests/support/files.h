#pragma once

// Whole files read and written as bytes.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace orvex::test {

/// The bytes of `file`; empty when it cannot be read.
inline std::string readAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

/// Replaces `file` with `text`, byte for byte.
inline void writeAll(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

}  // namespace orvex::test
