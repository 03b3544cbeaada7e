// In-place edits go through the layer's editing session: refused on a layer with the user's
// unsaved edits or a provider that cannot change, rolled back whole when the command fails.

#include <gtest/gtest.h>

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

TEST_F(EditSession, ASuccessfulRunIsCommittedOnceAndLeavesEditingMode) {
  QgsVectorLayer* layer = fixes();
  EXPECT_EQ(click(false), host::kOk);
  EXPECT_FALSE(layer->isEditable());
  EXPECT_EQ(fieldTexts(folder / "fixes.shp", {"Marked"}).back(), std::vector<std::string>{"7"});
}

TEST_F(EditSession, AFailedRunIsRolledBackWhole) {
  QgsVectorLayer* layer = fixes();
  EXPECT_EQ(click(true), host::kDataError);
  EXPECT_FALSE(layer->isEditable());
  EXPECT_EQ(layer->fields().indexOf("Marked"), -1);
  EXPECT_EQ(fieldTexts(folder / "fixes.shp", {"Marked"}).front(), std::vector<std::string>{"<missing>"});
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_NE(host.messages()[0].find("failed half way"), std::string::npos);
}

TEST_F(EditSession, TheUsersUnsavedEditsAreRefusedAndKept) {
  QgsVectorLayer* layer = fixes();
  ASSERT_TRUE(layer->startEditing());
  ASSERT_TRUE(layer->changeAttributeValue(0, layer->fields().indexOf("Time2"), 5.0));
  EXPECT_NE(click(false), host::kOk);
  EXPECT_TRUE(layer->isModified()) << "the user's edit is still there, uncommitted";
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_NE(host.messages()[0].find("unsaved edits"), std::string::npos);
  layer->rollBack();
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
  EXPECT_NE(host.messages()[0].find("cannot get new fields"), std::string::npos);
}

}  // namespace
}  // namespace orvex::test
