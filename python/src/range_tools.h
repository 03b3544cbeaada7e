#pragma once
// The range tools of the Python module: LoCoH isopleths and overlap indices.

#include <pybind11/pybind11.h>

namespace orvex::python {

/// Adds `locoh` and `overlap` to the extension module.
void bindRangeTools(pybind11::module_& module);

}  // namespace orvex::python
