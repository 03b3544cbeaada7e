#pragma once

// The command line's view of a run's progress: a line redrawn on a terminal, nothing
// otherwise (a log or a pipe gets only the report).

#include "host/progress.h"

namespace orvex::cli {

struct GlobalOptions;

/// Whether progress is drawn: standard error is a terminal and --quiet, --json and
/// --progress-lines are off.
bool drawsProgress(const GlobalOptions& global);

/// The progress function a run's commands report their steps to: "\r<percent>% <message>" on
/// standard error when `drawsProgress`, else an empty function. It never asks to stop: the
/// command line is stopped by its signal. With --progress-lines, ProgressLines on standard error
/// instead.
host::ProgressFn runProgress(const GlobalOptions& global);

}  // namespace orvex::cli
