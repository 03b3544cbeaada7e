#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/environment.h"
#include "host/error.h"
#include "host/registry.h"
#include "host/text.h"

namespace orvex::host {
namespace {

template <class Fn>
Fn symbolOf(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  Fn fn = nullptr;
  static_assert(sizeof(fn) == sizeof(symbol));
  std::memcpy(&fn, &symbol, sizeof fn);  // object pointer to function pointer, as dlsym requires
  return fn;
}

std::string lastDlError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}

// A loaded component library. Libraries are opened with RTLD_NODELETE: code of a library can
// be reached through objects and handlers long after their creator let go, so a library stays
// mapped until the process ends.
struct Library {
  void* handle = nullptr;
  std::filesystem::path path;
  GetClassObjectFn getClassObject = nullptr;
  GetClassTableFn getClassTable = nullptr;
  RegisterServerFn registerServer = nullptr;
  UnregisterServerFn unregisterServer = nullptr;

  ~Library() {
    if (handle != nullptr) dlclose(handle);
  }
};

// Loads `path`; throws Error (kFail) naming the library and the loader's reason.
std::shared_ptr<Library> loadLibrary(const std::filesystem::path& path) {
  auto library = std::make_shared<Library>();
  library->path = path;
  dlerror();
  library->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library->handle == nullptr)
    throw Error(kFail, "Cannot load component library '" + path.string() + "': " + lastDlError());
  library->getClassObject = symbolOf<GetClassObjectFn>(library->handle, kGetClassObjectSymbol);
  library->getClassTable = symbolOf<GetClassTableFn>(library->handle, kGetClassTableSymbol);
  library->registerServer = symbolOf<RegisterServerFn>(library->handle, kRegisterServerSymbol);
  library->unregisterServer = symbolOf<UnregisterServerFn>(library->handle, kUnregisterServerSymbol);
  return library;
}

bool isComponentLibrary(const Library& library) {
  return library.getClassObject != nullptr && library.getClassTable != nullptr &&
         library.registerServer != nullptr && library.unregisterServer != nullptr;
}

template <class T>
bool readAt(std::ifstream& in, std::uint64_t offset, T* out, std::size_t count = 1) {
  in.seekg(static_cast<std::streamoff>(offset));
  return static_cast<bool>(
      in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(sizeof(T) * count)));
}

// Whether the library's dynamic string table holds the entry point's name; an exported name
// always stands there, NUL-terminated and uncompressed. A library without it cannot be a
// component library and is not loaded at all: loading one (a desktop-GIS plug-in beside the
// components, say) would map and initialise its whole dependency tree, several times the cost
// of the program's own start-up. Only the section headers and that table are read (the files
// may carry tens of megabytes of debugging data). A file that is not a 64-bit ELF file is left
// to the loader to judge.
bool namesEntryPoint(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  Elf64_Ehdr header{};
  if (!readAt(in, 0, &header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr))
    return true;
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  if (sections.empty() || !readAt(in, header.e_shoff, sections.data(), sections.size())) return true;
  const std::string_view name = kGetClassObjectSymbol;
  for (const Elf64_Shdr& section : sections) {
    if (section.sh_type != SHT_DYNSYM || section.sh_link >= sections.size()) continue;
    const Elf64_Shdr& strings = sections[section.sh_link];
    std::string table(strings.sh_size, '\0');
    if (!readAt(in, strings.sh_offset, table.data(), table.size())) return true;
    for (std::size_t at = table.find(name); at != std::string::npos; at = table.find(name, at + 1))
      if (at > 0 && table[at - 1] == '\0' && at + name.size() < table.size() &&
          table[at + name.size()] == '\0')
        return true;
    return false;
  }
  return false;  // no dynamic symbols: exports nothing
}

// The shared libraries of `folder` that may be component libraries, by file name.
std::vector<std::filesystem::path> sharedLibrariesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().extension() != ".so" || !entry.is_regular_file(error)) continue;
    if (!namesEntryPoint(entry.path())) continue;
    auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(entry.path()), error);
    if (error) continue;
    if (std::find(found.begin(), found.end(), canonical) == found.end())
      found.push_back(std::move(canonical));
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.filename().string() < b.filename().string(); });
  return found;
}

}  // namespace

struct ComponentRegistry::Impl {
  std::vector<ClassRecord> records;
  std::vector<std::string> problems;
  mutable std::mutex mutex;
  mutable std::map<std::filesystem::path, std::shared_ptr<Library>> libraries;

  std::shared_ptr<Library> library(const std::filesystem::path& path) const {
    std::lock_guard lock(mutex);
    auto& slot = libraries[path];
    if (!slot) {
      auto loaded = loadLibrary(path);
      if (loaded->getClassObject == nullptr)
        throw Error(kFail,
                    "'" + path.string() + "' is not a component library (no " + kGetClassObjectSymbol + ")");
      slot = std::move(loaded);
    }
    return slot;
  }
};

ComponentRegistry::ComponentRegistry() : impl_(std::make_unique<Impl>()) {}
ComponentRegistry::~ComponentRegistry() = default;
ComponentRegistry::ComponentRegistry(ComponentRegistry&&) noexcept = default;
ComponentRegistry& ComponentRegistry::operator=(ComponentRegistry&&) noexcept = default;

ComponentRegistry ComponentRegistry::fromFile(const std::filesystem::path& registryFile) {
  ComponentRegistry registry;
  for (auto& record : readRegistryFile(registryFile)) registry.add(std::move(record));
  return registry;
}

ComponentRegistry ComponentRegistry::fromFolder(const std::filesystem::path& folder) {
  ComponentRegistry registry;
  for (const auto& path : sharedLibrariesIn(folder)) {
    try {
      auto library = loadLibrary(path);
      if (!isComponentLibrary(*library)) continue;
      const ClassEntry* entries = nullptr;
      std::size_t count = 0;
      if (failed(library->getClassTable(&entries, &count))) {
        registry.impl_->problems.push_back(path.string() + ": the class table cannot be read");
        continue;
      }
      for (auto& record : recordsOf(std::span(entries, count), path)) registry.add(std::move(record));
      registry.impl_->libraries[path] = std::move(library);
    } catch (const Error& error) {
      registry.impl_->problems.push_back(error.description());
    }
  }
  return registry;
}

ComponentRegistry ComponentRegistry::open(const RegistryOptions& options) {
  const std::filesystem::path file = options.registryFile.value_or(defaultRegistryPath());
  std::error_code error;
  if (!file.empty() && std::filesystem::exists(file, error)) return fromFile(file);
  if (options.systemRegistryFile && std::filesystem::exists(*options.systemRegistryFile, error))
    return fromFile(*options.systemRegistryFile);
  return fromFolder(options.componentFolder.empty() ? executableFolder() : options.componentFolder);
}

void ComponentRegistry::add(ClassRecord record) {
  auto& records = impl_->records;
  auto existing = std::find_if(records.begin(), records.end(),
                               [&](const ClassRecord& r) { return r.clsid == record.clsid; });
  if (existing != records.end())
    *existing = std::move(record);
  else
    records.push_back(std::move(record));
}

std::span<const ClassRecord> ComponentRegistry::classes() const { return impl_->records; }

const ClassRecord* ComponentRegistry::findByProgId(std::string_view progId) const {
  if (trim(progId).empty()) return nullptr;
  for (const ClassRecord& record : impl_->records)
    if (iequals(record.progId, progId) || iequals(record.versionIndependentProgId, progId)) return &record;
  return nullptr;
}

const ClassRecord* ComponentRegistry::findByClsid(const Guid& clsid) const {
  for (const ClassRecord& record : impl_->records)
    if (record.clsid == clsid) return &record;
  return nullptr;
}

std::vector<ClassRecord> ComponentRegistry::classesInCategory(const Guid& category) const {
  std::vector<ClassRecord> out;
  for (const ClassRecord& record : impl_->records)
    if (std::find(record.categories.begin(), record.categories.end(), category) != record.categories.end())
      out.push_back(record);
  return out;
}

std::shared_ptr<Component> ComponentRegistry::create(std::string_view progIdOrClsid) const {
  const std::string_view name = trim(progIdOrClsid);
  if (!name.empty() && name.front() == '{') {
    if (auto clsid = Guid::parse(name)) return create(*clsid);
  }
  const ClassRecord* record = findByProgId(name);
  if (record == nullptr)
    throw Error(kClassNotRegistered, "Class '" + std::string(name) + "' is not registered");
  return create(record->clsid);
}

std::shared_ptr<Component> ComponentRegistry::create(const Guid& clsid) const {
  const ClassRecord* record = findByClsid(clsid);
  if (record == nullptr) throw Error(kClassNotRegistered, "Class " + clsid.toString() + " is not registered");
  auto library = impl_->library(record->library);
  ClassFactory* factory = nullptr;
  if (failed(library->getClassObject(&clsid, &factory)) || factory == nullptr)
    throw Error(kClassNotAvailable, "Component library '" + record->library.string() +
                                        "' does not make class " + record->className + " " +
                                        clsid.toString());
  std::shared_ptr<Component> object = factory->createInstance();
  Component* raw = object.get();
  // The instance holds its library: the deleter releases the object first, the library after.
  return std::shared_ptr<Component>(
      raw, [object = std::move(object), library](Component*) mutable { object.reset(); });
}

const std::vector<std::string>& ComponentRegistry::problems() const { return impl_->problems; }

void throwNoInterface(std::string_view progIdOrClsid) {
  throw Error(kNoInterface,
              "Class '" + std::string(progIdOrClsid) + "' does not implement the interface asked for");
}

std::vector<std::filesystem::path> componentLibrariesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> out;
  for (const auto& path : sharedLibrariesIn(folder)) {
    try {
      if (isComponentLibrary(*loadLibrary(path))) out.push_back(path);
    } catch (const Error&) {
      // Not loadable: not a component library this host can use.
    }
  }
  return out;
}

namespace {

void callRegistration(const std::filesystem::path& library, const std::filesystem::path& registryFile,
                      bool registering) {
  auto loaded = loadLibrary(std::filesystem::absolute(library));
  if (!isComponentLibrary(*loaded))
    throw Error(kFail, "'" + library.string() + "' is not a component library");
  const std::string file = registryFile.string();
  const Status status =
      registering ? loaded->registerServer(file.c_str()) : loaded->unregisterServer(file.c_str());
  if (failed(status))
    throw Error(kRegistrationFailed, std::string(registering ? "Registration" : "Unregistration") + " of '" +
                                         library.string() + "' in '" + file + "' failed");
}

}  // namespace

void registerLibrary(const std::filesystem::path& library, const std::filesystem::path& registryFile) {
  callRegistration(library, registryFile, true);
}

void unregisterLibrary(const std::filesystem::path& library, const std::filesystem::path& registryFile) {
  callRegistration(library, registryFile, false);
}

}  // namespace orvex::host
