#include "host/table.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

#include "host/error.h"

namespace orvex::host {
namespace {

class EndCursor : public Cursor {
 public:
  std::optional<Row> next() override { return std::nullopt; }
};

}  // namespace

Row Table::createRowBuffer() const { return Row(std::make_shared<const Fields>(fields())); }

SelectionSet Table::select(const QueryFilter& filter) const {
  return SelectionSet(shared_from_this(), selectedIds(filter));
}

std::vector<ObjectId> Table::selectedIds(const QueryFilter& filter) const {
  std::vector<ObjectId> ids;
  auto cursor = search(filter);
  while (auto row = cursor->next()) ids.push_back(row->oid());
  return ids;
}

std::vector<ObjectId> withoutRepeatedIds(std::vector<ObjectId> ids) {
  if (std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<>()) == ids.end()) return ids;
  // Large selections (tens of thousands of fixes) are common: drop repeats through a hash set
  // rather than a scan of the ids kept so far.
  std::vector<ObjectId> kept;
  kept.reserve(ids.size());
  std::unordered_set<ObjectId> seen;
  seen.reserve(ids.size());
  for (ObjectId id : ids)
    if (seen.insert(id).second) kept.push_back(id);
  return kept;
}

SelectionSet::SelectionSet(std::shared_ptr<const Table> table, std::vector<ObjectId> ids)
    : table_(std::move(table)), ids_(withoutRepeatedIds(std::move(ids))) {}

bool SelectionSet::contains(ObjectId id) const {
  return std::find(ids_.begin(), ids_.end(), id) != ids_.end();
}

std::unique_ptr<Cursor> SelectionSet::search(const QueryFilter& filter) const {
  if (filter.objectIds) throw Error(kInvalidArgument, "A selection is searched by its own object ids");
  if (!table_ || ids_.empty()) return std::make_unique<EndCursor>();
  QueryFilter restricted = filter;
  restricted.objectIds = ids_;
  return table_->search(restricted);
}

}  // namespace orvex::host
