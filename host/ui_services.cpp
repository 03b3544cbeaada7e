#include "host/ui_services.h"

#include "host/text.h"

namespace orvex::host {
namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool match(std::string_view name, std::string_view pattern) {
  // Iterative wildcard match with back-tracking to the last '*'.
  std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || foldCase(pattern[p]) == foldCase(name[n]))) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::vector<FileFilter> parseFileFilter(std::string_view filter) {
  std::vector<FileFilter> result;
  if (trim(filter).empty()) return result;
  const auto parts = split(filter, '|');
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    FileFilter entry;
    entry.description = std::string(parts[i]);
    for (std::string_view pattern : split(parts[i + 1], ';')) {
      pattern = trim(pattern);
      if (!pattern.empty()) entry.patterns.emplace_back(pattern);
    }
    result.push_back(std::move(entry));
  }
  return result;
}

bool matchesPattern(std::string_view fileName, std::string_view pattern) { return match(fileName, pattern); }

std::filesystem::path withDefaultExtension(const std::filesystem::path& path, std::string_view extension) {
  if (extension.empty() || path.filename().empty() || path.has_extension()) return path;
  std::filesystem::path result = path;
  result += ".";
  result += std::string(extension);
  return result;
}

}  // namespace orvex::host
