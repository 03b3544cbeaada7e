#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

#include "host/component.h"
#include "host/guid.h"
#include "host/status.h"

namespace orvex::host {

/// Makes one instance of a component class.
using CreateFn = std::shared_ptr<Component> (*)();

/// `CreateFn` for a default-constructible class.
template <class T>
std::shared_ptr<Component> createComponent() {
  return std::make_shared<T>();
}

/// One creatable class of a component library, as its static class table declares it:
///
///   constexpr orvex::host::Guid kCommand[] = {orvex::host::kCommandCategory};
///   const orvex::host::ClassEntry kClasses[] = {
///       {orvex::host::guid("{...}"), "orvex_MCP", "orvex_MCP Class", "Orvex8.orvex_MCP.1",
///        "Orvex8.orvex_MCP", kCommand, &orvex::host::createComponent<OrvexMcp>},
///   };
///   ORVEX_COMPONENT_LIBRARY(kClasses)
struct ClassEntry {
  Guid clsid{};
  std::string_view className{};    ///< "orvex_MCP"
  std::string_view description{};  ///< the class's default text, "orvex_MCP Class"
  std::string_view progId{};       ///< version-dependent ProgID ("Orvex8.orvex_MCP.1"); may be empty
  std::string_view versionIndependentProgId{};  ///< "Orvex8.orvex_MCP"
  std::span<const Guid> categories{};           ///< component categories it implements
  CreateFn create{};
};

/// Creates instances of one class of a library.
class ClassFactory {
 public:
  virtual ~ClassFactory();
  /// A new instance; throws `Error` when the class cannot be made. The instance counts as a
  /// live object of its library until the last reference is released.
  virtual std::shared_ptr<Component> createInstance() = 0;
  /// Keeps the library loaded (lock) or releases that hold (unlock), as a live object does.
  virtual void lockServer(bool lock) = 0;
};

/// Names and signatures of a component library's exported C entry points (looked up with
/// dlsym). All return a `Status`.
inline constexpr const char* kGetClassObjectSymbol = "orvex_get_class_object";
inline constexpr const char* kCanUnloadNowSymbol = "orvex_can_unload_now";
inline constexpr const char* kRegisterServerSymbol = "orvex_register_server";
inline constexpr const char* kUnregisterServerSymbol = "orvex_unregister_server";
inline constexpr const char* kGetClassTableSymbol = "orvex_get_class_table";

/// The factory of a class (owned by the library): kOk, or kClassNotAvailable for a CLSID the
/// library does not hold, kInvalidPointer for null arguments.
using GetClassObjectFn = Status (*)(const Guid* clsid, ClassFactory** factory);
/// kOk when no object or lock of the library is alive, else kFalse.
using CanUnloadNowFn = Status (*)();
/// Writes (or removes) the library's classes in the registry file at `registryPath` (null or
/// empty: `defaultRegistryPath()`); kOk or kRegistrationFailed.
using RegisterServerFn = Status (*)(const char* registryPath);
using UnregisterServerFn = Status (*)(const char* registryPath);
/// The library's class table, for hosts that register it in memory.
using GetClassTableFn = Status (*)(const ClassEntry** entries, std::size_t* count);

/// The state behind a library's entry points: one factory per class and the count of live
/// objects and locks. `ORVEX_COMPONENT_LIBRARY` makes one per library.
class ComponentModule {
 public:
  /// `anchor` is any address inside the library; it locates the library file.
  ComponentModule(std::span<const ClassEntry> classes, const void* anchor);
  ~ComponentModule();
  ComponentModule(const ComponentModule&) = delete;
  ComponentModule& operator=(const ComponentModule&) = delete;

  Status getClassObject(const Guid* clsid, ClassFactory** factory);
  Status canUnloadNow() const;
  Status registerServer(const char* registryPath) const;
  Status unregisterServer(const char* registryPath) const;
  Status getClassTable(const ClassEntry** entries, std::size_t* count) const;

  /// The library's file.
  std::filesystem::path modulePath() const;

 private:
  class Factory;
  std::span<const ClassEntry> classes_;
  const void* anchor_;
  std::shared_ptr<std::atomic<long>> live_;
  std::unique_ptr<Factory[]> factories_;
};

}  // namespace orvex::host

/// Defines a component library's five entry points over its class table. Use once per
/// library, at global scope, in one source file.
#define ORVEX_COMPONENT_LIBRARY(classTable)                                                              \
  namespace {                                                                                            \
  ::orvex::host::ComponentModule& orvexThisModule() {                                                    \
    static const char anchor = 0;                                                                        \
    static ::orvex::host::ComponentModule module{std::span<const ::orvex::host::ClassEntry>(classTable), \
                                                 &anchor};                                               \
    return module;                                                                                       \
  }                                                                                                      \
  }                                                                                                      \
  extern "C" __attribute__((visibility("default"))) ::orvex::host::Status orvex_get_class_object(        \
      const ::orvex::host::Guid* clsid, ::orvex::host::ClassFactory** factory) {                         \
    return orvexThisModule().getClassObject(clsid, factory);                                             \
  }                                                                                                      \
  extern "C" __attribute__((visibility("default"))) ::orvex::host::Status orvex_can_unload_now() {       \
    return orvexThisModule().canUnloadNow();                                                             \
  }                                                                                                      \
  extern "C" __attribute__((visibility("default"))) ::orvex::host::Status orvex_register_server(         \
      const char* registryPath) {                                                                        \
    return orvexThisModule().registerServer(registryPath);                                               \
  }                                                                                                      \
  extern "C" __attribute__((visibility("default"))) ::orvex::host::Status orvex_unregister_server(       \
      const char* registryPath) {                                                                        \
    return orvexThisModule().unregisterServer(registryPath);                                             \
  }                                                                                                      \
  extern "C" __attribute__((visibility("default"))) ::orvex::host::Status orvex_get_class_table(         \
      const ::orvex::host::ClassEntry** entries, std::size_t* count) {                                   \
    return orvexThisModule().getClassTable(entries, count);                                              \
  }
