#pragma once

#include <stdexcept>
#include <string>

namespace orvex::access {

/// The one error type of the Access reader. Its message names the file (and, where it
/// applies, the table, column or where clause) so that it can be shown to a user as it is.
class AccessError : public std::runtime_error {
 public:
  enum class Kind {
    FileNotFound,  ///< the file does not exist
    NotAccess,     ///< not a file, unreadable, or no Access signature
    Damaged,       ///< truncated or damaged contents
    NoSuchTable,   ///< a table name the file does not hold
    BadClause,     ///< a where clause that does not compile
  };

  explicit AccessError(const std::string& message, Kind kind = Kind::Damaged)
      : std::runtime_error(message), kind_(kind) {}

  Kind kind() const noexcept { return kind_; }

 private:
  Kind kind_;
};

}  // namespace orvex::access
