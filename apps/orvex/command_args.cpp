#include "apps/orvex/command_args.h"

namespace orvex::cli {

std::string CommandArgs::textOf(const std::string& key) const {
  const auto found = texts_.find(key);
  return found == texts_.end() ? std::string() : found->second;
}

std::vector<std::string> CommandArgs::listOf(const std::string& key) const {
  const auto found = lists_.find(key);
  return found == lists_.end() ? std::vector<std::string>() : found->second;
}

bool CommandArgs::flagOf(const std::string& key) const {
  const auto found = flags_.find(key);
  return found != flags_.end() && found->second;
}

bool CommandArgs::given(const std::string& key) const {
  return !textOf(key).empty() || !listOf(key).empty() || flagOf(key);
}

}  // namespace orvex::cli
