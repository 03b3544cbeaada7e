#pragma once

#include <filesystem>
#include <memory>

#include "host/workspace.h"

namespace orvex::access {

/// Opens an Access (.mdb) file as a read-only host workspace.
///
/// - Tables are the file's user tables in catalog order, opened by their exact name. They are
///   plain tables: `openFeatureClass` gives null for every name.
/// - Fields follow the table's columns: Long Integer -> Integer; Integer, Byte and Boolean
///   (true = -1) -> SmallInteger; Single -> Single and Double, Currency -> Double (values as
///   Double); Date/Time -> Date; Text, Memo -> String (length: the Text width). Columns of
///   other types (OLE objects, binary, GUIDs, decimals) are left out.
/// - A row's object id is its position in the table, counting from 1, in stored order.
/// - Where clauses take the host's common dialect (see `host::QueryFilter`), text compared
///   byte for byte, plus what `WhereClause` accepts; a comparison with an empty value is
///   never true, also under NOT.
/// - Every change (fields, rows, datasets) throws `host::Error` (kAccessDenied).
///
/// Throws `host::Error`: (kFileNotFound) when the file does not exist, (kDataError) when it is
/// not an Access database or is damaged; the description names the file.
std::shared_ptr<host::Workspace> openAccessWorkspace(const std::filesystem::path& file);

}  // namespace orvex::access
