#include "host/component_library.h"

#include <exception>
#include <string>

#include "host/environment.h"
#include "host/error.h"
#include "host/registry.h"

namespace orvex::host {

// Each instance is handed out wrapped so that the library knows when its last object is gone
// (the answer of `canUnloadNow`).
class ComponentModule::Factory : public ClassFactory {
 public:
  const ClassEntry* entry = nullptr;
  std::shared_ptr<std::atomic<long>> live;

  std::shared_ptr<Component> createInstance() override {
    if (entry->create == nullptr)
      throw Error(kClassNotAvailable, "Class " + std::string(entry->className) + " cannot be created");
    std::shared_ptr<Component> object = entry->create();
    if (!object) throw Error(kFail, "Class " + std::string(entry->className) + " made no object");
    Component* raw = object.get();
    ++*live;
    return std::shared_ptr<Component>(raw, [object = std::move(object), counter = live](Component*) mutable {
      object.reset();
      --*counter;
    });
  }

  void lockServer(bool lock) override {
    if (lock)
      ++*live;
    else
      --*live;
  }
};

ComponentModule::ComponentModule(std::span<const ClassEntry> classes, const void* anchor)
    : classes_(classes),
      anchor_(anchor),
      live_(std::make_shared<std::atomic<long>>(0)),
      factories_(std::make_unique<Factory[]>(classes.size())) {
  for (std::size_t i = 0; i < classes_.size(); ++i) {
    factories_[i].entry = &classes_[i];
    factories_[i].live = live_;
  }
}

ComponentModule::~ComponentModule() = default;

std::filesystem::path ComponentModule::modulePath() const { return moduleFileOf(anchor_); }

Status ComponentModule::getClassObject(const Guid* clsid, ClassFactory** factory) {
  if (clsid == nullptr || factory == nullptr) return kInvalidPointer;
  *factory = nullptr;
  for (std::size_t i = 0; i < classes_.size(); ++i) {
    if (classes_[i].clsid == *clsid) {
      *factory = &factories_[i];
      return kOk;
    }
  }
  return kClassNotAvailable;
}

Status ComponentModule::canUnloadNow() const { return *live_ == 0 ? kOk : kFalse; }

// The entry points are C functions: nothing may escape them as an exception.
Status ComponentModule::registerServer(const char* registryPath) const {
  try {
    const std::filesystem::path file = registryPath != nullptr && *registryPath != '\0'
                                           ? std::filesystem::path(registryPath)
                                           : defaultRegistryPath();
    const auto records = recordsOf(classes_, modulePath());
    registerClasses(file, records);
    return kOk;
  } catch (const std::exception&) {
    return kRegistrationFailed;
  }
}

Status ComponentModule::unregisterServer(const char* registryPath) const {
  try {
    const std::filesystem::path file = registryPath != nullptr && *registryPath != '\0'
                                           ? std::filesystem::path(registryPath)
                                           : defaultRegistryPath();
    std::vector<Guid> clsids;
    for (const ClassEntry& entry : classes_) clsids.push_back(entry.clsid);
    unregisterClasses(file, clsids);
    return kOk;
  } catch (const std::exception&) {
    return kRegistrationFailed;
  }
}

Status ComponentModule::getClassTable(const ClassEntry** entries, std::size_t* count) const {
  if (entries == nullptr || count == nullptr) return kInvalidPointer;
  *entries = classes_.data();
  *count = classes_.size();
  return kOk;
}

}  // namespace orvex::host
