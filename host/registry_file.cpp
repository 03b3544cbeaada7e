// The registry file: a plain text file with one section per class.
//
//   # Orvex component registry
//   [{B9E3...}]
//   Class=orvex_MCP
//   Description=orvex_MCP Class
//   ProgID=Orvex8.orvex_MCP.1
//   VersionIndependentProgID=Orvex8.orvex_MCP
//   InprocServer32=/usr/lib/orvex/liborvexcore.so   (or relative to the file's folder)
//   ThreadingModel=Apartment
//   Programmable=
//   Category={B56A7C42-83D4-11D2-A2E9-080009B6F22B}
//
// Unknown keys are ignored so that older hosts can read newer files.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/error.h"
#include "host/registry.h"
#include "host/text.h"

namespace orvex::host {
namespace {

constexpr std::string_view kHeader =
    "# Orvex component registry. One section per class; written by registration.";

[[noreturn]] void malformed(const std::filesystem::path& file, int line, const std::string& what) {
  throw Error(kDataError, "Registry file '" + file.string() + "' line " + std::to_string(line) + ": " + what);
}

// Holds an exclusive lock on "<registry>.lock" for the duration of a read-modify-write.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& registry) {
    const std::string lockFile = registry.string() + ".lock";
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throw Error(kDataError, "Cannot create '" + lockFile + "': " + std::strerror(errno));
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        throw Error(kDataError, "Cannot lock '" + lockFile + "': " + std::strerror(errno));
      }
    }
  }
  ~FileLock() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

void ensureFolder(const std::filesystem::path& file) {
  const auto folder = file.parent_path();
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw Error(kDataError, "Cannot create folder '" + folder.string() + "': " + error.message());
}

}  // namespace

std::vector<ClassRecord> recordsOf(std::span<const ClassEntry> classes,
                                   const std::filesystem::path& library) {
  std::vector<ClassRecord> records;
  for (const ClassEntry& entry : classes) {
    ClassRecord record;
    record.clsid = entry.clsid;
    record.className = entry.className;
    record.description = entry.description;
    record.progId = entry.progId;
    record.versionIndependentProgId = entry.versionIndependentProgId;
    record.library = library;
    record.categories.assign(entry.categories.begin(), entry.categories.end());
    records.push_back(std::move(record));
  }
  return records;
}

std::filesystem::path defaultRegistryPath() {
  if (const char* file = std::getenv("ORVEX_REGISTRY"); file != nullptr && *file != '\0') return file;
  // A relative folder would be the current one, often a data folder that anybody may fill:
  // a registry there names libraries to load. So only absolute folders count.
  const auto absolute = [](const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value == '/' ? std::filesystem::path(value) : std::filesystem::path();
  };
  if (const auto xdg = absolute("XDG_CONFIG_HOME"); !xdg.empty()) return xdg / "orvex" / "registry";
  if (const auto home = absolute("HOME"); !home.empty()) return home / ".config" / "orvex" / "registry";
  return {};
}

std::vector<ClassRecord> readRegistryFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) return {};
    throw Error(kDataError, "Cannot read registry file '" + file.string() + "'");
  }
  std::vector<ClassRecord> records;
  std::string raw;
  int lineNumber = 0;
  while (std::getline(in, raw)) {
    ++lineNumber;
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') malformed(file, lineNumber, "section header without ']'");
      const auto clsid = Guid::parse(line.substr(1, line.size() - 2));
      if (!clsid) malformed(file, lineNumber, "'" + std::string(line) + "' is not a class identifier");
      records.emplace_back();
      records.back().clsid = *clsid;
      records.back().threadingModel.clear();
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) malformed(file, lineNumber, "expected key=value");
    if (records.empty()) malformed(file, lineNumber, "entry outside a class section");
    const std::string_view key = trim(line.substr(0, equals));
    const std::string value(trim(line.substr(equals + 1)));
    ClassRecord& record = records.back();
    if (key == "Class") {
      record.className = value;
    } else if (key == "Description") {
      record.description = value;
    } else if (key == "ProgID") {
      record.progId = value;
    } else if (key == "VersionIndependentProgID") {
      record.versionIndependentProgId = value;
    } else if (key == "InprocServer32") {
      // A relative path is relative to the registry's folder: an installed tree's own
      // registry names its libraries so, and stays right wherever the tree is unpacked.
      record.library = value;
      if (!record.library.empty() && record.library.is_relative())
        record.library = (std::filesystem::absolute(file).parent_path() / record.library).lexically_normal();
    } else if (key == "ThreadingModel") {
      record.threadingModel = value;
    } else if (key == "Category") {
      const auto category = Guid::parse(value);
      if (!category) malformed(file, lineNumber, "'" + value + "' is not a category identifier");
      record.categories.push_back(*category);
    }
  }
  return records;
}

void writeRegistryFile(const std::filesystem::path& file, std::span<const ClassRecord> records) {
  ensureFolder(file);
  std::ostringstream text;
  text << kHeader << '\n';
  for (const ClassRecord& record : records) {
    text << '\n' << '[' << record.clsid.toString() << "]\n";
    text << "Class=" << record.className << '\n';
    text << "Description=" << record.description << '\n';
    if (!record.progId.empty()) text << "ProgID=" << record.progId << '\n';
    if (!record.versionIndependentProgId.empty())
      text << "VersionIndependentProgID=" << record.versionIndependentProgId << '\n';
    text << "InprocServer32=" << record.library.string() << '\n';
    text << "ThreadingModel=" << record.threadingModel << '\n';
    text << "Programmable=\n";
    for (const Guid& category : record.categories) text << "Category=" << category.toString() << '\n';
  }
  // Write beside the target and rename over it, so a reader never sees half a file.
  std::string temporaryName = file.string() + ".XXXXXX";  // mkstemp: no name to foresee
  const int descriptor = ::mkstemp(temporaryName.data());
  if (descriptor < 0) throw Error(kDataError, "Cannot write registry file beside '" + file.string() + "'");
  ::close(descriptor);
  const std::filesystem::path temporary = temporaryName;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.flush();
    if (!out) throw Error(kDataError, "Cannot write registry file '" + temporary.string() + "'");
  }
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw Error(kDataError, "Cannot replace registry file '" + file.string() + "'");
  }
}

void registerClasses(const std::filesystem::path& file, std::span<const ClassRecord> records) {
  ensureFolder(file);
  FileLock lock(file);
  std::vector<ClassRecord> current = readRegistryFile(file);
  for (const ClassRecord& record : records) {
    auto existing = std::find_if(current.begin(), current.end(),
                                 [&](const ClassRecord& r) { return r.clsid == record.clsid; });
    if (existing != current.end())
      *existing = record;
    else
      current.push_back(record);
  }
  writeRegistryFile(file, current);
}

void unregisterClasses(const std::filesystem::path& file, std::span<const Guid> clsids) {
  std::error_code error;
  if (!std::filesystem::exists(file, error)) return;
  FileLock lock(file);
  std::vector<ClassRecord> current = readRegistryFile(file);
  std::erase_if(current, [&](const ClassRecord& r) {
    return std::find(clsids.begin(), clsids.end(), r.clsid) != clsids.end();
  });
  writeRegistryFile(file, current);
}

}  // namespace orvex::host
