#pragma once

// The Kernel Analysis command: kernel home-range contours of the selected fixes, one polygon
// shapefile per bandwidth listed on the "Kernel Analysis Parameters" sheet.

#include <memory>
#include <span>

#include "core/data/orvex_command.h"
#include "core/kernel/kernel_fixes.h"
#include "core/kernel/kernel_options.h"

namespace orvex::core {

/// Shown when the map has no selection to read.
inline constexpr const char* kKernelNoSelection =
    "A selection is required.  Please select some features and try again.";
/// Shown when fewer than kKernelMinimumFixes usable points are selected.
inline constexpr const char* kKernelFewPoints =
    "A larger selection is required.  Please select more features and try again.";

/// "No utilisation distribution could be computed for h = %0.1f." (the fixes have no extent,
/// or the grid does not fit in memory).
std::string kernelNoUdMessage(double hValue);
/// "h = <hValue> is too small for the grid: ..." (no node within the kernel's reach of a fix).
std::string kernelTooSmallMessage(double hValue);
/// "h = <hValue> traces no contour on the grid: ..." (a UD whose levels enclose no node).
std::string kernelNoRingMessage(double hValue);

/// The command "Kernel Analysis" (orvex_kernel, ProgID "Orvex8.orvex_kernel").
///
/// A click refreshes the host context (a failure there is shown by the context and ends the
/// click), then reads the selected features of the focus map (every feature layer, in
/// selection order):
/// - no selection at all, or one that cannot be read: kKernelNoSelection, kOk;
/// - fewer than 5 usable points (usableFixes): kKernelFewPoints, kFail;
/// - otherwise a sheet engine is loaded with the points and the KernelSheet is shown; Cancel
///   ends the click with kOk.
/// Then for each h value of the sheet, in order, a fresh engine is loaded, standardised as the
/// sheet says, given the search bracket (0.1, 1.0) href and h (a multiple of href when the
/// proportion box is checked), and runs the grid, the levels, the fixed or adaptive kernel and
/// the contours; saveKernelRun then asks for the file and writes it. A run whose UD cannot be
/// computed shows kernelNoUdMessage (kernelTooSmallMessage when h is too small for the grid),
/// one that traces no ring kernelNoRingMessage, and asks for no file. A failed run does not stop the
/// others; the click returns the status of the last run.
class orvex_kernel final : public OrvexCommand {
 public:
  orvex_kernel();
  ~orvex_kernel() override;

  host::Status onClick() override;

 private:
  host::Status runOne(std::span<const KernelFix> fixes, const KernelOptions& options, double hValue);
};

/// A new Kernel Analysis command, for the component table and for tests.
std::unique_ptr<host::Command> makeOrvexKernel();

}  // namespace orvex::core
