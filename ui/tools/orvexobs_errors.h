#pragma once

// How the movement and data-cleaning tools turn an error they trapped into the number their
// messages show ("CalcFeatures sub Error number: 94").

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace orvex::ui {

/// Out of memory, and a fault of the tool's own making, in the host's error numbering.
inline constexpr std::int32_t kOutOfMemoryErrorNumber = 7;
inline constexpr std::int32_t kInternalErrorNumber = 51;

/// The error number of a trapped failure: a host::Error's own number, kOutOfMemoryErrorNumber
/// for std::bad_alloc, kInternalErrorNumber for anything else.
std::int32_t errorNumberOf(const std::exception_ptr& failure);

/// `prefix` followed by the error number of `failure`.
std::string ErrorReport(std::string_view prefix, const std::exception_ptr& failure);

}  // namespace orvex::ui
