#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/application.h"
#include "host/cursor.h"
#include "host/table.h"
#include "host/ui_services.h"
#include "host/value.h"
#include "host/workspace.h"

namespace orvex::ui::gis {

/// Shown (title "File Error", critical icon) when a shapefile to create already exists.
inline constexpr const char* kFileExistsMessage = "ERROR: file already exists. Cannot create output file.";

/// True when `name` names one entry directly inside a folder: not empty, no path separator,
/// not "." or "..". Names failing this are refused before any file is touched, so a crafted
/// name can never create or delete files outside the folder.
bool IsPlainDatasetName(std::string_view name);

/// Creates the shapefile folder/name.shp with the fields "OID" (object id) and "Shape"
/// (geometry of `type`, Z and M flags, `spatialReference`).
///
/// - When folder/name.shp exists: without `overwrite`, shows kFileExistsMessage and returns
///   null; with it, first deletes the shapefile and every file "name.<extension>" beside it
///   (a file of another dataset such as "name.v2.shp" is left alone).
/// - A null `spatialReference` is replaced by the unknown coordinate system, handed back
///   through the argument.
/// @throws host::Error when the name is not a plain name (kInvalidArgument), the folder cannot
///         be opened or the files cannot be written or removed.
std::shared_ptr<host::FeatureClass> CreateShapefileFeatureClass(host::Application& application,
                                                                const std::filesystem::path& folder,
                                                                std::string_view name,
                                                                host::GeometryType type, bool hasZ, bool hasM,
                                                                host::SpatialReferencePtr& spatialReference,
                                                                bool overwrite);

/// Adds a field of that name and type; a given precision is set, and for doubles the scale.
/// Returns the field's index, or -1 after a message box (title "Error", information icon)
/// "AddNewField: " + step ("A" building the field, "B" adding it, "C" finding its index), a
/// line "Name: <name>, Type: <code>", the host error number and description. A null feature
/// class fails at step B.
int AddField(host::UiServices& ui, std::string_view name, host::FeatureClass* featureClass,
             host::FieldType type, std::optional<int> precision = std::nullopt, int scale = 0);

/// AddField for a 64-bit float field that is to hold `values`: when the requested width (the
/// precision, or the platform's default when it is 0) cannot hold every value's text, the
/// field is made wider, and only past the widest .dbf field are decimals given up, so no value
/// is ever cut, refused or starred. The field is still added last. Returns -1 as AddField does.
int AddDoubleField(host::UiServices& ui, std::string_view name, host::FeatureClass* featureClass,
                   int precision, int scale, std::span<const double> values);

/// The order of the unique-value list, and of animals wherever a field tells them apart:
/// numbers by value (so 7 and 7.0 are one animal), then texts byte-wise, then dates by time.
/// Both values must be non-empty.
bool ValueLess(const host::Value& a, const host::Value& b);

/// ValueLess as the ordering of a map keyed by animal.
struct UniqueValueOrder {
  bool operator()(const host::Value& a, const host::Value& b) const { return ValueLess(a, b); }
};

/// The distinct non-empty values of `fieldName` over the cursor's rows, sorted ascending
/// (numbers by value, texts byte-wise, dates by time; numbers before texts before dates). On
/// failure (no such field, a read error) shows "GetUniqueValues: " + error number, a line
/// break and the description (title "Error", critical icon) and returns an empty list.
std::vector<host::Value> UniqueValues(host::UiServices& ui, host::Cursor& cursor, std::string_view fieldName);

/// Deletes the dataset or file `name` inside `folder`, trying in turn a shapefile ("Detected
/// shapefile."), a raster ("Detected raster.") and a plain file or folder entry ("Detected
/// regular file."); returns false when none exists or the name is not a plain name. `status`,
/// when given, receives "DeleteFile", a line break and the detection text (the context for
/// an error report).
/// @throws host::Error when the dataset exists but cannot be deleted.
bool DeleteDataset(host::WorkspaceFactory& workspaces, const std::filesystem::path& folder,
                   std::string_view name, std::string* status = nullptr);

}  // namespace orvex::ui::gis
