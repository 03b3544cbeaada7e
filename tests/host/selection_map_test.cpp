#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/map.h"

namespace orvex::host {
namespace {

// An in-memory point feature class: enough of a data source to drive the selection set and
// the map walks. Only empty where clauses are supported.
class MemoryPoints : public FeatureClass {
 public:
  explicit MemoryPoints(std::string name) : name_(std::move(name)) {
    fields_.add({"FID", FieldType::ObjectId});
    fields_.add(
        {"Shape", FieldType::Geometry, 0, 0, 0, GeometryDef{GeometryType::Point, false, false, nullptr}});
  }
  ObjectId addPoint(double x, double y) {
    Row row(std::make_shared<const Fields>(fields_));
    row.setOid(nextId_);
    row.setShape(Geometry(Point{x, y}));
    rows_.emplace(nextId_, row);
    return nextId_++;
  }

  std::string name() const override { return name_; }
  const Fields& fields() const override { return fields_; }
  int addField(const FieldDef&) override { throw Error(kNotImplemented, "fake"); }
  void deleteField(std::string_view) override { throw Error(kNotImplemented, "fake"); }
  int rowCount(const QueryFilter& filter) const override { return static_cast<int>(idsFor(filter).size()); }
  std::unique_ptr<Cursor> search(const QueryFilter& filter) const override {
    return std::make_unique<Walk>(*this, idsFor(filter));
  }
  std::unique_ptr<UpdateCursor> update(const QueryFilter&) override { throw Error(kNotImplemented, "fake"); }
  std::unique_ptr<InsertCursor> insert(bool) override { throw Error(kNotImplemented, "fake"); }
  std::optional<Row> row(ObjectId id) const override {
    auto it = rows_.find(id);
    return it == rows_.end() ? std::nullopt : std::optional<Row>(it->second);
  }
  void deleteRow(ObjectId id) override { rows_.erase(id); }
  GeometryType shapeType() const override { return GeometryType::Point; }
  Envelope extent() const override { return {}; }
  SpatialReferencePtr spatialReference() const override { return nullptr; }

 private:
  // Reads each row when it is reached, so rows deleted meanwhile are skipped.
  class Walk : public Cursor {
   public:
    Walk(const MemoryPoints& table, std::vector<ObjectId> ids) : table_(table), ids_(std::move(ids)) {}
    std::optional<Row> next() override {
      while (next_ < ids_.size())
        if (auto found = table_.row(ids_[next_++])) return found;
      return std::nullopt;
    }

   private:
    const MemoryPoints& table_;
    std::vector<ObjectId> ids_;
    std::size_t next_ = 0;
  };

  std::vector<ObjectId> idsFor(const QueryFilter& filter) const {
    if (!filter.where.empty()) throw Error(kInvalidArgument, "fake: no where clauses");
    std::vector<ObjectId> ids;
    if (filter.objectIds)
      ids = *filter.objectIds;
    else
      for (const auto& [id, row] : rows_) ids.push_back(id);
    return ids;
  }

  std::string name_;
  Fields fields_;
  std::map<ObjectId, Row> rows_;
  ObjectId nextId_ = 0;
};

class PointLayer : public FeatureLayer {
 public:
  PointLayer(std::string name, std::shared_ptr<MemoryPoints> points)
      : name_(std::move(name)), points_(points) {}
  std::string name() const override { return name_; }
  void setName(std::string name) override { name_ = std::move(name); }
  bool visible() const override { return true; }
  SpatialReferencePtr spatialReference() const override { return nullptr; }
  std::shared_ptr<FeatureClass> featureClass() const override { return points_; }
  SelectionSet selection() const override { return selection_; }
  void setSelection(SelectionSet selection) override { selection_ = std::move(selection); }

 private:
  std::string name_;
  std::shared_ptr<MemoryPoints> points_;
  SelectionSet selection_;
};

class Group : public GroupLayer {
 public:
  Group(std::string name, std::vector<std::shared_ptr<Layer>> members)
      : name_(std::move(name)), members_(members) {}
  std::string name() const override { return name_; }
  void setName(std::string name) override { name_ = std::move(name); }
  bool visible() const override { return true; }
  SpatialReferencePtr spatialReference() const override { return nullptr; }
  std::vector<std::shared_ptr<Layer>> layers() const override { return members_; }

 private:
  std::string name_;
  std::vector<std::shared_ptr<Layer>> members_;
};

class LayerList : public Map {
 public:
  std::vector<std::shared_ptr<Layer>> top;
  std::string name() const override { return "Layers"; }
  SpatialReferencePtr spatialReference() const override { return nullptr; }
  std::vector<std::shared_ptr<Layer>> layers() const override { return top; }
  std::shared_ptr<FeatureLayer> addFeatureLayer(std::shared_ptr<FeatureClass>, std::string,
                                                SpatialReferencePtr) override {
    return nullptr;
  }
  std::shared_ptr<RasterLayer> addRasterLayer(std::shared_ptr<RasterDataset>, std::string) override {
    return nullptr;
  }
  void removeLayer(const std::shared_ptr<Layer>&) override {}
  void clearSelection() override {}
};

std::vector<ObjectId> idsOf(Cursor& cursor) {
  std::vector<ObjectId> ids;
  while (auto row = cursor.next()) ids.push_back(row->oid());
  return ids;
}

TEST(SelectionSets, KeepSelectionOrderAndDropDuplicates) {
  auto points = std::make_shared<MemoryPoints>("fixes");
  for (int i = 0; i < 5; ++i) points->addPoint(i, i);
  SelectionSet selection(points, {3, 1, 3, 4});
  EXPECT_EQ(selection.count(), 3);
  auto cursor = selection.search();
  EXPECT_EQ(idsOf(*cursor), (std::vector<ObjectId>{3, 1, 4}));
}

// The duplicate-removal tools delete features while walking the selection: a deleted feature
// must not come back from a walk that has not reached it yet.
TEST(SelectionSets, AWalkSkipsFeaturesDeletedBeforeItReachesThem) {
  auto points = std::make_shared<MemoryPoints>("fixes");
  for (int i = 0; i < 4; ++i) points->addPoint(0, 0);
  const SelectionSet selection = points->select();
  EXPECT_EQ(selection.count(), 4);
  auto cursor = selection.search();
  ASSERT_EQ(cursor->next()->oid(), 0);
  points->deleteRow(2);
  EXPECT_EQ(idsOf(*cursor), (std::vector<ObjectId>{1, 3}));
}

TEST(SelectionSets, EmptyOrTablelessSelectionsAreAtTheirEnd) {
  EXPECT_FALSE(SelectionSet().search()->next());
  auto points = std::make_shared<MemoryPoints>("fixes");
  points->addPoint(1, 1);
  EXPECT_FALSE(SelectionSet(points, {}).search()->next());
  QueryFilter byIds;
  byIds.objectIds = std::vector<ObjectId>{0};
  EXPECT_THROW(SelectionSet(points, {0}).search(byIds), Error);
}

TEST(MapWalks, GroupsAreSearchedInTableOfContentsOrder) {
  auto a = std::make_shared<PointLayer>("fixes A", std::make_shared<MemoryPoints>("a"));
  auto b = std::make_shared<PointLayer>("fixes B", std::make_shared<MemoryPoints>("b"));
  auto c = std::make_shared<PointLayer>("Fixes A", std::make_shared<MemoryPoints>("c"));
  auto broken = std::make_shared<PointLayer>("broken", nullptr);
  LayerList map;
  map.top = {a, std::make_shared<Group>("animals", std::vector<std::shared_ptr<Layer>>{b, broken}), c};

  std::vector<std::string> names;
  for (const auto& layer : map.featureLayers()) names.push_back(layer->name());
  EXPECT_EQ(names, (std::vector<std::string>{"fixes A", "fixes B", "Fixes A"}));
  EXPECT_EQ(map.allLayers().size(), 5u);
  EXPECT_EQ(map.featureLayers(GeometryType::Polygon).size(), 0u);
  EXPECT_EQ(map.findLayer("Fixes A"), c) << "names are matched with their letter case";
  EXPECT_EQ(map.findLayer("animals")->kind(), LayerKind::Group);
  EXPECT_EQ(map.findLayer("nothing"), nullptr);
}

TEST(MapWalks, SelectedFeaturesLayerByLayer) {
  auto first = std::make_shared<MemoryPoints>("a");
  auto second = std::make_shared<MemoryPoints>("b");
  for (int i = 0; i < 3; ++i) first->addPoint(i, 0), second->addPoint(0, i);
  auto a = std::make_shared<PointLayer>("A", first);
  auto b = std::make_shared<PointLayer>("B", second);
  a->setSelection(SelectionSet(first, {2, 0}));
  b->setSelection(SelectionSet(second, {1}));
  LayerList map;
  map.top = {std::make_shared<Group>("g", std::vector<std::shared_ptr<Layer>>{a}), b};
  std::vector<Point> points;
  for (const auto& feature : map.selectedFeatures()) points.push_back(*feature.shape().point());
  EXPECT_EQ(points, (std::vector<Point>{{2, 0}, {0, 0}, {0, 1}}));
}

}  // namespace
}  // namespace orvex::host
