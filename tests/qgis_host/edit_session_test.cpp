// In-place edits go through the layer's edit buffer as one undo step, uncommitted, also on a
// layer the user is editing; a failed run is undone whole; read-only layers are refused.

#include <gtest/gtest.h>

#include <QUndoStack>

#include "host/error.h"
#include "qgis_host/qgis_data.h"
#include "qgis_host/qgis_host_support.h"

namespace orvex::test {
namespace {

/// A command that adds a field, writes it on every feature, then fails or not.
class EditingCommand final : public host::Command {
 public:
  explicit EditingCommand(bool fail) : fail_(fail) {}
  std::string name() const override { return "test_edit"; }
  std::string caption() const override { return "Edit"; }
  std::string tooltip() const override { return {}; }
  std::string message() const override { return {}; }
  std::string category() const override { return "test"; }
  void onCreate(host::Application& application) override { application_ = &application; }
  host::Status onClick() override {
    const auto layer = application_->document()->focusMap()->featureLayers().front();
    const auto table = layer->featureClass();
    const int field = table->addField(host::FieldDef("Marked", host::FieldType::Integer, 4));
    const auto cursor = table->update();
    while (auto row = cursor->next()) {
      row->setValue(field, host::Value(7));
      cursor->updateRow(*row);
    }
    if (fail_) throw host::Error(host::kDataError, "failed half way");
    return host::kOk;
  }

 private:
  bool fail_;
  host::Application* application_ = nullptr;
};

class EditSession : public ::testing::Test {
 protected:
  QgsVectorLayer* fixes() {
    return host.add(QString::fromStdString(writeTimedPoints(folder.path(), "fixes", walk(4)).string()),
                    "fixes");
  }
  host::Status click(bool fail) {
    EditingCommand command(fail);
    command.onCreate(*host.application);
    return host.application->click(command, "test_edit");
  }
  TempFolder folder;
  QgisHost host;
};

TEST_F(EditSession, ASuccessfulRunStaysInTheBufferAsOneUndoStepUntilTheUserSaves) {
  QgsVectorLayer* layer = fixes();
  EXPECT_EQ(click(false), host::kOk);
  EXPECT_TRUE(layer->isEditable() && layer->isModified());
  ASSERT_EQ(layer->undoStack()->count(), 1) << "one step for the field and every value";
  EXPECT_EQ(layer->undoStack()->text(0), "Orvex: Edit");
  EXPECT_EQ(fieldTexts(folder / "fixes.shp", {"Marked"}).back(), std::vector<std::string>{"<missing>"})
      << "nothing saved yet";
  layer->undoStack()->undo();
  EXPECT_EQ(layer->fields().indexOf("Marked"), -1) << "Edit > Undo restores the layer";
  EXPECT_FALSE(layer->isModified());
  layer->undoStack()->redo();
  ASSERT_TRUE(layer->commitChanges());
  EXPECT_EQ(fieldTexts(folder / "fixes.shp", {"Marked"}).back(), std::vector<std::string>{"7"});
}

TEST_F(EditSession, AFailedRunIsUndoneWhole) {
  QgsVectorLayer* layer = fixes();
  EXPECT_EQ(click(true), host::kDataError);
  EXPECT_FALSE(layer->isEditable()) << "editing mode ends as it began";
  EXPECT_EQ(layer->fields().indexOf("Marked"), -1);
  EXPECT_EQ(fieldTexts(folder / "fixes.shp", {"Marked"}).front(), std::vector<std::string>{"<missing>"});
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_NE(host.messages()[0].find("failed half way"), std::string::npos);
}

// The user's unsaved edits stay, unsaved, under the run's step; a failed run undoes only its own.
TEST_F(EditSession, ALayerWithUnsavedEditsIsWorkedThroughItsBuffer) {
  for (const bool fail : {false, true}) {
    SCOPED_TRACE(fail ? "failed run" : "run");
    const auto own = folder / (fail ? "failed" : "kept");
    std::filesystem::create_directories(own);
    QgsVectorLayer* layer =
        host.add(QString::fromStdString(writeTimedPoints(own, "fixes", walk(4)).string()), "fixes");
    const int time2 = layer->fields().indexOf("Time2");
    ASSERT_TRUE(layer->startEditing());
    ASSERT_TRUE(layer->changeAttributeValue(0, time2, 5.0));
    const int before = layer->undoStack()->count();
    host.scripted.clearRecords();
    EXPECT_EQ(click(fail), fail ? host::kDataError : host::kOk);
    EXPECT_TRUE(layer->isEditable());
    EXPECT_EQ(layer->getFeature(0).attribute(time2).toDouble(), 5.0) << "the user's edit is still there";
    EXPECT_EQ(layer->undoStack()->count(), before + (fail ? 0 : 1));
    EXPECT_EQ(layer->fields().indexOf("Marked") >= 0, !fail);
    EXPECT_EQ(host.messages().size(), fail ? 1u : 0u);
    layer->rollBack();
    QgsProject::instance()->removeAllMapLayers();
  }
}

// Travel and the duplicate removals refuse a read-only layer before they ask anything; a
// command that reaches the edit anyway is refused there.
TEST_F(EditSession, AReadOnlyLayerIsRefusedWithItsName) {
  QgsVectorLayer* layer = fixes();
  layer->setReadOnly(true);
  layer->selectAll();
  for (const std::string progId : {"ORVEX.orvexobs", "ORVEX.FindDupTime2", "ORVEX.FindDupxy", "test_edit"}) {
    SCOPED_TRACE(progId);
    host.scripted.clearRecords();
    EXPECT_EQ(progId == "test_edit" ? click(false) : host.run(progId), host::kAccessDenied);
    EXPECT_FALSE(layer->isEditable());
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_NE(host.messages()[0].find("The layer \"fixes\" is read-only (the project marks it read-only)"),
              std::string::npos)
        << host.messages()[0];
  }
}

TEST_F(EditSession, AProviderThatCannotAddFieldsIsRefused) {
  const auto csv = folder / "fixes.csv";
  translate(writeTimedPoints(folder.path(), "fixes", walk(4)), csv, {"-f", "CSV", "-lco", "GEOMETRY=AS_XY"});
  QgsVectorLayer* layer = host.add(QStringLiteral("file://%1?type=csv&xField=X&yField=Y&crs=EPSG:32633")
                                       .arg(QString::fromStdString(csv.string())),
                                   "fixes", "delimitedtext");
  EXPECT_EQ(click(false), host::kAccessDenied);
  EXPECT_FALSE(layer->isEditable());
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_NE(host.messages()[0].find("The layer \"fixes\" is read-only (its data source cannot be changed)"),
            std::string::npos)
      << host.messages()[0];
}

}  // namespace
}  // namespace orvex::test
