#pragma once

#include <optional>
#include <string>

#include "core/data/command_descriptors.h"
#include "core/data/host_context.h"
#include "host/application.h"
#include "host/command.h"

namespace orvex::core {

/// Base of the orvexcore command classes: the command properties come from the class's
/// descriptor, the bitmap is made when the object is made, and the host context keeps the
/// application handed over at creation. A command class adds its `onClick`.
class OrvexCommand : public host::Command {
 public:
  /// `descriptor` is one of the static descriptors and outlives the command.
  explicit OrvexCommand(const CommandDescriptor& descriptor);

  bool enabled() const override { return true; }
  bool checked() const override { return false; }
  std::string name() const override { return std::string(descriptor_->name); }
  std::string caption() const override { return std::string(descriptor_->caption); }
  std::string tooltip() const override { return std::string(descriptor_->tooltip); }
  std::string message() const override { return std::string(descriptor_->message); }
  std::string category() const override { return std::string(descriptor_->category); }
  /// Help is not provided.
  std::optional<std::string> helpFile() const override { return std::nullopt; }
  std::optional<int> helpContextId() const override { return std::nullopt; }
  host::Bitmap bitmap() const override { return bitmap_; }

  /// Keeps the application in the host context and asks it for its document once; a failure
  /// there is met again, and reported, by the first click's refresh.
  void onCreate(host::Application& application) override;

  const CommandDescriptor& descriptor() const { return *descriptor_; }

 protected:
  HostContext& context() { return context_; }
  const HostContext& context() const { return context_; }

 private:
  const CommandDescriptor* descriptor_;
  HostContext context_;
  host::Bitmap bitmap_;
};

}  // namespace orvex::core
