#include "core_data/core_test_host.h"

#include "platform/access/access_workspace.h"

namespace orvex::test {

class ProbeApplication::References final : public host::SpatialReferenceFactory {
 public:
  explicit References(ProbeApplication& owner) : owner_(&owner) {}

  host::SpatialReferencePtr fromEpsg(int code) const override { return real().fromEpsg(code); }
  host::SpatialReferencePtr fromWkt(std::string_view wkt) const override { return real().fromWkt(wkt); }
  host::SpatialReferencePtr unknown() const override { return real().unknown(); }
  host::Point project(const host::Point& point, const host::SpatialReference& from,
                      const host::SpatialReference& to) const override {
    return real().project(point, from, to);
  }

 private:
  host::SpatialReferenceFactory& real() const {
    if (owner_->referencesFail)
      throw host::Error(host::kFail, "The spatial reference factory is not available");
    return owner_->headless.spatialReferences();
  }
  ProbeApplication* owner_;
};

ProbeApplication::ProbeApplication()
    : headless(quietOptions(printed)),
      accessOpener(&access::openAccessWorkspace),
      workspaces_([this](const std::filesystem::path& file) { return accessOpener(file); }),
      references_(std::make_shared<References>(*this)) {}

ProbeApplication::~ProbeApplication() = default;

host::SpatialReferenceFactory& ProbeApplication::spatialReferences() { return *references_; }

std::shared_ptr<host::Document> ProbeApplication::document() const {
  if (documentFailure) throw *documentFailure;
  return headless.document();
}

std::vector<std::string> ProbeApplication::messages() {
  std::vector<std::string> texts;
  for (const auto& record : headless.scriptedUi().messages()) texts.push_back(record.message.text);
  return texts;
}

}  // namespace orvex::test
