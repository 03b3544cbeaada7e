#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "host/status.h"

namespace orvex::host {

/// Error numbers of value and run-time faults (the numbers the `orvexui` procedures report as
/// "... Error number: N"). Host operation failures use negative `Status` codes instead.
namespace error_number {
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kFileAlreadyExists = 58;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kObjectNotSet = 91;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kInvalidPropertyValue = 380;
}  // namespace error_number

/// The one error type that crosses the host interface. Every host operation that fails throws
/// it; nothing else escapes a host call or a command.
///
/// - `number()`: a negative `Status` for host failures (workspace cannot be opened, dataset
///   missing, write refused), or a positive run-time error number from `error_number` for value
///   faults (overflow, null, type mismatch).
/// - `description()`: the host's error text shown to the user. It names what failed and on
///   what ("Cannot open shapefile folder '/data/out': No such directory").
/// - `context()`: optional extra detail for developers (operation, source location); not
///   part of the user-facing text.
class Error : public std::exception {
 public:
  Error(std::int32_t number, std::string description, std::string context = {});

  std::int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  const std::string& context() const noexcept { return context_; }

  /// The failure as a status code: `number()` when it is negative, otherwise `kFail`.
  Status status() const noexcept { return number_ < 0 ? number_ : kFail; }

  /// `description()`, followed by " [" context "]" when a context is present.
  const char* what() const noexcept override;

 private:
  std::int32_t number_;
  std::string description_;
  std::string context_;
  std::string what_;
};

/// True when the developer switch ORVEX_THROW is set in the environment (any value but
/// "0"): command front ends then let errors propagate to a debugger instead of turning them
/// into messages and status codes.
bool errorsPassThrough();

}  // namespace orvex::host
