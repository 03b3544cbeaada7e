#pragma once

// A run stopped by a signal (Ctrl-C, SIGTERM, SIGHUP from a closed terminal) removes its scratch
// folders (whole copies of the user's data) before it ends, as a run that finishes does.

namespace orvex::cli {

/// Keeps the list of the process's live scratch folders and files (through
/// host::watchScratchFolders and host::noteScratchPath: the host's copies, an in-place edit's
/// working copy and lock) and installs handlers of SIGINT, SIGTERM and SIGHUP that remove those, and only
/// those, then end the process as the signal would have (its status says so). The handlers use
/// async-signal-safe calls only. Up to kMaxWatchedFolders folders live at once are kept; more
/// are removed only by their owners. Signals ignored when the program started (a run under
/// nohup) stay ignored.
void removeScratchFoldersOnStop();

/// Live scratch folders a handler can remove; a run makes a few.
inline constexpr int kMaxWatchedFolders = 32;

}  // namespace orvex::cli
