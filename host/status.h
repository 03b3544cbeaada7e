#pragma once

#include <cstdint>

namespace orvex::host {

/// Result code of a host or component operation. Zero and positive values are successes
/// (`kFalse` is the success that answers "no"); negative values are failures. `orvexcore`
/// returns these codes from every command operation, and `Error::number()` carries one when a
/// host operation fails.
using Status = std::int32_t;

inline constexpr Status kOk = 0;
inline constexpr Status kFalse = 1;

// Failure codes keep the values of the in-process component model the commands were designed
// against, so a code written to a log means the same thing everywhere.
inline constexpr Status kNotImplemented = static_cast<Status>(0x80004001u);
inline constexpr Status kNoInterface = static_cast<Status>(0x80004002u);
inline constexpr Status kInvalidPointer = static_cast<Status>(0x80004003u);
inline constexpr Status kAbort = static_cast<Status>(0x80004004u);  ///< the user cancelled
inline constexpr Status kFail = static_cast<Status>(0x80004005u);
inline constexpr Status kUnexpected = static_cast<Status>(0x8000FFFFu);
inline constexpr Status kAccessDenied = static_cast<Status>(0x80070005u);
inline constexpr Status kInvalidArgument = static_cast<Status>(0x80070057u);
inline constexpr Status kFileNotFound = static_cast<Status>(0x80070002u);
inline constexpr Status kPathNotFound = static_cast<Status>(0x80070003u);
inline constexpr Status kAlreadyExists = static_cast<Status>(0x800700B7u);
inline constexpr Status kClassNotAvailable = static_cast<Status>(0x80040111u);
inline constexpr Status kClassNotRegistered = static_cast<Status>(0x80040154u);
inline constexpr Status kRegistrationFailed = static_cast<Status>(0x80040201u);
/// A dataset, field or row named by the caller does not exist.
inline constexpr Status kNotFound = static_cast<Status>(0x80040E37u);
/// The data source refused or failed a read or write (I/O error, corrupt file, read-only).
inline constexpr Status kDataError = static_cast<Status>(0x80040E21u);

constexpr bool succeeded(Status status) { return status >= 0; }
constexpr bool failed(Status status) { return status < 0; }

}  // namespace orvex::host
