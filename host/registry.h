#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/component.h"
#include "host/component_library.h"
#include "host/guid.h"

namespace orvex::host {

/// What the registry holds about one class.
struct ClassRecord {
  Guid clsid{};
  std::string className{};
  std::string description{};
  std::string progId{};                    ///< version-dependent; may be empty
  std::string versionIndependentProgId{};  ///< may be empty
  std::filesystem::path library{};         ///< absolute path of the component library
  std::string threadingModel = "Apartment";
  std::vector<Guid> categories{};
  bool operator==(const ClassRecord&) const = default;
};

/// The records of a class table, for the library at `library`.
std::vector<ClassRecord> recordsOf(std::span<const ClassEntry> classes, const std::filesystem::path& library);

/// The registry file used when the host names none: $ORVEX_REGISTRY when set and not empty,
/// else ${XDG_CONFIG_HOME:-$HOME/.config}/orvex/registry, each variable counted only when it
/// holds an absolute folder; empty (no user registry) when neither does.
std::filesystem::path defaultRegistryPath();

/// Reads a registry file. A missing file is an empty registry; a malformed one throws `Error`
/// (kDataError) naming the file and line.
std::vector<ClassRecord> readRegistryFile(const std::filesystem::path& file);
/// Replaces the file's contents (folders created as needed; the new file replaces the old one
/// atomically). Throws `Error` (kDataError) when it cannot be written.
void writeRegistryFile(const std::filesystem::path& file, std::span<const ClassRecord> records);
/// Adds the records to the file, replacing records of the same CLSID; the file keeps its order
/// and new classes are appended. Concurrent registrations are serialised by a lock file
/// beside the registry.
void registerClasses(const std::filesystem::path& file, std::span<const ClassRecord> records);
/// Removes the records of those CLSIDs (absent ones are ignored).
void unregisterClasses(const std::filesystem::path& file, std::span<const Guid> clsids);

/// Loads the component library at `library` and calls its registration entry point with
/// `registryFile`. Throws `Error` (kFail) when the library cannot be loaded or has no entry
/// point, (kRegistrationFailed) when registration fails.
void registerLibrary(const std::filesystem::path& library, const std::filesystem::path& registryFile);
void unregisterLibrary(const std::filesystem::path& library, const std::filesystem::path& registryFile);

/// The shared libraries ("*.so") in `folder` that export the component entry points, in file
/// name order, as absolute paths.
std::vector<std::filesystem::path> componentLibrariesIn(const std::filesystem::path& folder);

/// Where the host finds its component classes.
struct RegistryOptions {
  /// The registry file; absent: `defaultRegistryPath()`.
  std::optional<std::filesystem::path> registryFile{};
  /// Where the component libraries are installed; empty: the executable's folder (none when
  /// that is unknown).
  std::filesystem::path componentFolder{};
  /// The registry installed with the libraries, used when `registryFile` does not exist.
  std::optional<std::filesystem::path> systemRegistryFile{};
};

/// The host side of the component model: finds classes by ProgID, CLSID or category, loads
/// their libraries and creates instances.
///
/// Libraries are loaded on first use and stay loaded while the registry or any object made from
/// them lives (instances hold their library). ProgIDs are matched without regard to letter
/// case, in either form (version-dependent or version-independent).
class ComponentRegistry {
 public:
  ComponentRegistry();
  ~ComponentRegistry();
  ComponentRegistry(ComponentRegistry&&) noexcept;
  ComponentRegistry& operator=(ComponentRegistry&&) noexcept;

  /// The classes the registry file lists (throws like `readRegistryFile`).
  static ComponentRegistry fromFile(const std::filesystem::path& registryFile);
  /// The classes of the component libraries in `folder`, registered in memory: no file is
  /// written, so builds and installs never see each other's libraries.
  static ComponentRegistry fromFolder(const std::filesystem::path& folder);
  /// The registry file when it exists (the user's own overrides the installed one), else the
  /// system registry file when given and existing, otherwise the libraries of the component
  /// folder (`fromFolder`), so a build tree works without set-up.
  static ComponentRegistry open(const RegistryOptions& options = {});

  /// Adds a record, replacing one of the same CLSID.
  void add(ClassRecord record);
  std::span<const ClassRecord> classes() const;
  /// Null when unknown.
  const ClassRecord* findByProgId(std::string_view progId) const;
  const ClassRecord* findByClsid(const Guid& clsid) const;
  /// The classes implementing a category, in registry order.
  std::vector<ClassRecord> classesInCategory(const Guid& category) const;

  /// A new instance of the class named by ProgID or by braced CLSID text. Throws `Error`:
  /// (kClassNotRegistered) for an unknown name, (kFail) when its library cannot be loaded,
  /// (kClassNotAvailable) when the library does not make that class.
  std::shared_ptr<Component> create(std::string_view progIdOrClsid) const;
  std::shared_ptr<Component> create(const Guid& clsid) const;
  /// `create`, cast to an interface; throws `Error` (kNoInterface) when the object does not
  /// implement it.
  template <class Interface>
  std::shared_ptr<Interface> createAs(std::string_view progIdOrClsid) const;

  /// Libraries `fromFolder` skipped (not loadable) with the reason, for diagnostics.
  const std::vector<std::string>& problems() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// Throws the kNoInterface error of `createAs`.
[[noreturn]] void throwNoInterface(std::string_view progIdOrClsid);

template <class Interface>
std::shared_ptr<Interface> ComponentRegistry::createAs(std::string_view progIdOrClsid) const {
  auto object = std::dynamic_pointer_cast<Interface>(create(progIdOrClsid));
  if (!object) throwNoInterface(progIdOrClsid);
  return object;
}

}  // namespace orvex::host
