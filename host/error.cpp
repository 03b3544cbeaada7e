#include "host/error.h"

#include <cstdlib>
#include <string_view>

namespace orvex::host {

Error::Error(std::int32_t number, std::string description, std::string context)
    : number_(number), description_(std::move(description)), context_(std::move(context)) {
  what_ = context_.empty() ? description_ : description_ + " [" + context_ + "]";
}

const char* Error::what() const noexcept { return what_.c_str(); }

bool errorsPassThrough() {
  const char* value = std::getenv("ORVEX_THROW");
  return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

}  // namespace orvex::host
