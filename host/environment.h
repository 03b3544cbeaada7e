#pragma once

#include <filesystem>

namespace orvex::host {

/// The folder for temporary files: $TEMP, else $TMPDIR, else "/tmp" (a variable that is set but
/// empty counts as unset). One trailing separator is removed.
std::filesystem::path temporaryFolder();

/// The environment variable through which a user or a test sets the thread count of the
/// components' numeric loops: a positive integer.
inline constexpr const char* kWorkerThreadsVariable = "ORVEX_THREADS";

/// The value of kWorkerThreadsVariable; 0 (one thread per processor) when it is unset, empty,
/// 0 or not a whole number. An application reads it once, when it is made.
unsigned workerThreadSetting();

/// The folder of the running executable (from /proc/self/exe).
std::filesystem::path executableFolder();

/// The file of the loaded shared library (or executable) that contains `address`, made
/// absolute; empty when it cannot be found.
std::filesystem::path moduleFileOf(const void* address);

}  // namespace orvex::host
