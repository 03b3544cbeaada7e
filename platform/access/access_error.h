#pragma once

#include <stdexcept>
#include <string>

namespace orvex::access {

/// The one error type of the Access reader. Its message always names the file (and, where it
/// applies, the table, column or where clause) so that it can be shown to a user as it is.
class AccessError : public std::runtime_error {
 public:
  explicit AccessError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace orvex::access
