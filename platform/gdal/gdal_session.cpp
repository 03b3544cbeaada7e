#include "platform/gdal/gdal_session.h"

#include <cpl_error.h>
#include <gdal.h>
#include <ogr_api.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "host/error.h"

namespace orvex::platform::gdal {
namespace {

thread_local ErrorCollector* innermost = nullptr;
bool printMessages = false;

void CPL_STDCALL quietHandler(CPLErr level, CPLErrorNum /*number*/, const char* message) {
  if (level == CE_Debug) return;
  const bool isFailure = level == CE_Failure || level == CE_Fatal;
  if (innermost != nullptr) innermost->record(isFailure, message);
  if (printMessages) std::fprintf(stderr, "GDAL: %s\n", message != nullptr ? message : "");
}

}  // namespace

void ensureGdalReady() {
  // GDAL's driver list and error handler are the process's, as GDAL keeps them.
  static std::once_flag once;
  std::call_once(once, [] {
    const char* debug = std::getenv("ORVEX_GDAL_DEBUG");
    printMessages = debug != nullptr && *debug != '\0';
    CPLSetErrorHandler(quietHandler);
    GDALAllRegister();
  });
}

ErrorCollector::ErrorCollector() : outer_(innermost) {
  innermost = this;
  CPLErrorReset();
}

ErrorCollector::~ErrorCollector() { innermost = outer_; }

void ErrorCollector::record(bool isFailure, const char* message) {
  if (isFailure) failed_ = true;
  messages_.emplace_back(message != nullptr ? message : "");
}

std::string ErrorCollector::text() const {
  std::string joined;
  for (const auto& m : messages_) {
    if (!joined.empty()) joined += '\n';
    joined += m;
  }
  return joined;
}

void fail(const std::string& what, host::Status code) { throw host::Error(code, what); }

void failWithGdal(const std::string& what, const ErrorCollector* collected, host::Status code) {
  std::string detail = collected != nullptr ? collected->text() : std::string();
  if (detail.empty()) {
    const char* last = CPLGetLastErrorMsg();
    if (last != nullptr) detail = last;
  }
  fail(detail.empty() ? what : what + ": " + detail, code);
}

}  // namespace orvex::platform::gdal
