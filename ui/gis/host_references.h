#pragma once

#include <memory>

#include "host/application.h"
#include "host/map.h"

namespace orvex::ui::gis {

/// The library's shared host references: the application, its document and the document's
/// focus map. One set for the whole library, read by the dialogs; the application outlives
/// every command, so keeping its address is safe.
struct HostReferences {
  host::Application* application = nullptr;
  std::shared_ptr<host::Document> document;
  std::shared_ptr<host::Map> focusMap;
};

/// Stores the application, its current document and that document's focus map as the shared
/// references. Called first by the click handlers that read them, so a document or focus map
/// changed since the last click is picked up.
void RefreshHostReferences(host::Application& application);

/// The references of the last refresh; all null before the first.
const HostReferences& SharedHostReferences();

/// Drops the shared references (a library being unloaded, or a test starting afresh).
void ClearHostReferences();

/// Drops the shared references when they are `application`'s: a command going away lets go of
/// its application's document and map, so none outlives the application (or the data
/// libraries its layers need when they close).
void ReleaseHostReferences(const host::Application& application);

}  // namespace orvex::ui::gis
