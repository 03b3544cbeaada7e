#include "host/command_catalog.h"

#include <algorithm>

#include "host/error.h"
#include "host/text.h"

namespace orvex::host {
namespace {

// Menus may hold menus; a definition that names itself must not recurse for ever.
constexpr int kMaxMenuDepth = 8;

}  // namespace

CommandCatalog::CommandCatalog(const ComponentRegistry& registry, Application& application)
    : registry_(&registry), application_(&application) {
  // Toolbars (and the menus they put on a menu bar) in ProgID order, whatever the order in
  // which their libraries were found or registered.
  std::vector<ClassRecord> bars = registry.classesInCategory(kToolBarCategory);
  const auto progIdOf = [](const ClassRecord& record) {
    return record.versionIndependentProgId.empty() ? record.progId : record.versionIndependentProgId;
  };
  std::stable_sort(bars.begin(), bars.end(), [&](const ClassRecord& a, const ClassRecord& b) {
    return toLowerAscii(progIdOf(a)) < toLowerAscii(progIdOf(b));
  });
  for (const ClassRecord& record : bars) {
    CommandBar bar;
    bar.progId = progIdOf(record);
    try {
      bar.definition = registry.createAs<ToolBarDef>(record.clsid.toString());
    } catch (const Error& error) {
      problems_.push_back("Toolbar " + record.className + ": " + error.description());
      continue;
    }
    const int count = bar.definition->itemCount();
    for (int position = 0; position < count; ++position) {
      ItemInfo info;
      if (bar.definition->itemInfo(position, info)) bar.items.push_back(makeItem(info, 0));
    }
    toolbars_.push_back(std::move(bar));
  }
  for (const ClassRecord& record : registry.classesInCategory(kCommandCategory)) {
    if (byClass_.count(record.clsid) != 0) continue;
    try {
      command(record.clsid.toString());
    } catch (const Error& error) {
      problems_.push_back("Command " + record.className + ": " + error.description());
    }
  }
}

CommandItem CommandCatalog::makeItem(const ItemInfo& info, int depth) {
  CommandItem item;
  item.info = info;
  const ClassRecord* record = registry_->findByProgId(info.id);
  if (record == nullptr) {
    item.problem = "'" + info.id + "' is not registered";
    problems_.push_back("Item " + item.problem);
    return item;
  }
  try {
    if (auto known = byClass_.find(record->clsid); known != byClass_.end()) {
      item.command = known->second;
      return item;
    }
    auto object = registry_->create(record->clsid);
    if (auto menu = std::dynamic_pointer_cast<MenuDef>(object)) {
      item.menu = menu;
      if (depth >= kMaxMenuDepth) {
        item.problem = "menu '" + info.id + "' is nested too deeply";
        problems_.push_back("Item " + item.problem);
        return item;
      }
      const int count = menu->itemCount();
      for (int position = 0; position < count; ++position) {
        ItemInfo child;
        if (menu->itemInfo(position, child)) item.items.push_back(makeItem(child, depth + 1));
      }
    } else if (auto made = std::dynamic_pointer_cast<Command>(object)) {
      made->onCreate(*application_);
      byClass_[record->clsid] = made;
      commands_.push_back(made);
      item.command = std::move(made);
    } else {
      item.problem = "'" + info.id + "' is neither a command nor a menu";
      problems_.push_back("Item " + item.problem);
    }
  } catch (const Error& error) {
    item.problem = error.description();
    problems_.push_back("Item '" + info.id + "': " + error.description());
  }
  return item;
}

std::shared_ptr<Command> CommandCatalog::command(std::string_view progIdOrClsid) {
  const ClassRecord* record = nullptr;
  if (auto clsid = Guid::parse(progIdOrClsid)) record = registry_->findByClsid(*clsid);
  if (record == nullptr) record = registry_->findByProgId(progIdOrClsid);
  if (record == nullptr)
    throw Error(kClassNotRegistered, "Command '" + std::string(progIdOrClsid) + "' is not registered");
  if (auto known = byClass_.find(record->clsid); known != byClass_.end()) return known->second;
  auto made = registry_->createAs<Command>(record->clsid.toString());
  made->onCreate(*application_);
  byClass_[record->clsid] = made;
  commands_.push_back(made);
  return made;
}

}  // namespace orvex::host
