#include "range/shell/range_form.h"

#include "host/application.h"
#include "host/layer.h"
#include "host/map.h"
#include "host/table.h"

namespace orvex::range {

RangeForm::RangeForm(std::string_view name, std::string caption, host::Application& application,
                     std::shared_ptr<host::Map> map)
    : host::Form(std::string(name), std::move(caption)), app_(&application), map_(std::move(map)) {}

void RangeForm::AddControls(std::span<const RangeControlRow> rows) {
  for (const RangeControlRow& row : rows) {
    host::Control& control = add(row.kind, row.name, row.caption);
    if (row.frame != nullptr) control.setContainer(row.frame);
    if (row.page != kNoPage) control.setPage(row.page);
    if (row.text != nullptr) control.setText(row.text, host::Notify::No);
  }
}

void RangeForm::ListPointLayers(std::string_view combo) {
  for (const auto& layer : map_->featureLayers(host::GeometryType::Point))
    control(combo).addItem(layer->name());
}

void RangeForm::ListRasterLayers(std::string_view combo) {
  for (const auto& layer : map_->rasterLayers()) control(combo).addItem(layer->name());
}

void RangeForm::ListIdFields() {
  host::Control& fields = control("cmbUIDFLD");
  fields.clearItems();
  const auto layer =
      std::dynamic_pointer_cast<host::FeatureLayer>(map_->findLayer(control("cmbPntL").text()));
  if (!layer || !layer->featureClass()) return;
  const host::Fields& list = layer->featureClass()->fields();
  for (int i = 0; i < list.count(); ++i)
    if (list.at(i).type != host::FieldType::Geometry) fields.addItem(list.at(i).name);
}

void RangeForm::ConnectButtons(std::function<bool()> run) {
  control("txtOutFolder").setReadOnly(true);
  control("btnFolder").onClick = [this] {
    host::FolderDialogOptions options;
    options.title = "Select output folder...";
    if (const auto folder = app_->ui().browseFolder(options))
      control("txtOutFolder").setText(folder->string());
  };
  control("btnOK").onClick = [this, run = std::move(run)] {
    if (run()) close(host::dialog_result::kOk);
  };
  control("btnCancel").onClick = [this] { cancel(); };
}

}  // namespace orvex::range
