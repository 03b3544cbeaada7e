#pragma once

#include "host/guid.h"

namespace orvex::host {

/// Base of every object a component library creates for the host (commands, toolbar and menu
/// definitions, public worker classes). The host asks for an interface with
/// `std::dynamic_pointer_cast`; the interfaces' type information lives in `orvexhost`, so the
/// cast works across libraries.
class Component {
 public:
  virtual ~Component();
};

/// Component categories the host lists.
/// Commands offered to the host's toolbars and menus.
inline constexpr Guid kCommandCategory = guid("{B56A7C42-83D4-11D2-A2E9-080009B6F22B}");
/// Toolbar definitions the host builds at start-up.
inline constexpr Guid kToolBarCategory = guid("{21720AC3-1E72-460E-8D70-CF8776C5948B}");
/// Menu definitions (reachable from a toolbar by ProgID).
inline constexpr Guid kMenuCategory = guid("{F69FA4BE-6E80-40EB-9901-8D769CD7A170}");

}  // namespace orvex::host
