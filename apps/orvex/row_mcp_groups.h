#pragma once

// `--by FIELD`: one map layer per distinct value of a field, so that a file holding several
// animals gives one MCP per animal.

#include <string>

namespace orvex::platform::headless {
class HeadlessApplication;
}

namespace orvex::cli {

/// Replaces every feature layer of the focus map by one layer per distinct value of `field`
/// among its selected features, named by the value and selecting exactly the features with it
/// (in selection order). Groups follow in ascending value order (numbers by value, texts
/// byte-wise, dates by time), each file's groups where its layer was; other layers stay as
/// they are. Features without a value are left out, with a note saying how many.
/// A layer that is not of points, or whose selection gives no group (empty, a --where that
/// selects nothing, no feature with a value), stays whole: the command then refuses it as it
/// does without --by. Returns how many layers stayed whole.
/// Throws host::Error (kInvalidArgument) naming the layer when it has no such field.
int groupLayersByField(platform::headless::HeadlessApplication& application, const std::string& field);

/// `--by FIELD` of the commands that work on one layer per animal in place (travel and the
/// duplicate removals): names `field` as the animal field of the layer selected in the table
/// of contents, so that the command keeps each animal's fixes apart. Nothing happens when no
/// feature layer is selected (the command refuses that itself).
/// Throws host::Error (kInvalidArgument) naming the layer when it has no such field.
void nameAnimalField(platform::headless::HeadlessApplication& application, const std::string& field);

}  // namespace orvex::cli
