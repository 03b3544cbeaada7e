#include "ui/tools/orvexobs_errors.h"

#include <new>

#include "host/error.h"

namespace orvex::ui {

std::int32_t errorNumberOf(const std::exception_ptr& failure) {
  if (!failure) return kInternalErrorNumber;
  try {
    std::rethrow_exception(failure);
  } catch (const host::Error& error) {
    return error.number();
  } catch (const std::bad_alloc&) {
    return kOutOfMemoryErrorNumber;
  } catch (...) {
    return kInternalErrorNumber;
  }
}

std::string ErrorReport(std::string_view prefix, const std::exception_ptr& failure) {
  return std::string(prefix) + std::to_string(errorNumberOf(failure));
}

}  // namespace orvex::ui
