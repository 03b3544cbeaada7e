#pragma once

// The parsed options of one subcommand.

#include <map>
#include <string>
#include <vector>

namespace orvex::cli {

/// What one subcommand's options were parsed into: the options every command takes, and
/// slots by key for the row's own options.
class CommandArgs {
 public:
  // Options of every command subcommand.
  std::vector<std::string> files;    ///< data files, one layer each (or more for multi-layer files)
  std::string where;                 ///< selection where-clause
  std::vector<int> objectIds;        ///< selection by object id
  std::string layer;                 ///< the table-of-contents layer
  std::vector<std::string> outputs;  ///< save-dialog answers, in order

  /// Slots a row's `declare` binds its options to. A slot keeps its address for the life of
  /// the object, as CLI11 requires.
  std::string& text(const std::string& key) { return texts_[key]; }
  std::vector<std::string>& list(const std::string& key) { return lists_[key]; }
  bool& flag(const std::string& key) { return flags_[key]; }

  /// The value of a slot; empty (or false) when the option was not given.
  std::string textOf(const std::string& key) const;
  std::vector<std::string> listOf(const std::string& key) const;
  bool flagOf(const std::string& key) const;
  /// True when the option was given: a non-empty text, a non-empty list or a set flag.
  bool given(const std::string& key) const;

 private:
  std::map<std::string, std::string> texts_;
  std::map<std::string, std::vector<std::string>> lists_;
  std::map<std::string, bool> flags_;
};

}  // namespace orvex::cli
