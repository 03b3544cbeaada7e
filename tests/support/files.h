#pragma once

// Whole files read as bytes.

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

}  // namespace orvex::test
