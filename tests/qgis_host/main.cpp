// QGIS needs one application object for the whole process, initialised before any layer is
// made and ended once: the tests run inside it, offscreen.

#include <gtest/gtest.h>

#include <cstdlib>

#include <qgsapplication.h>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  QgsApplication application(argc, argv, true);
  // Provider plug-ins (delimited text, ...) are found under QGIS's own prefix, not this program's.
  QgsApplication::setPrefixPath(qEnvironmentVariable("QGIS_PREFIX_PATH", QStringLiteral("/usr")), true);
  QgsApplication::initQgis();
  const int status = RUN_ALL_TESTS();
  QgsApplication::exitQgis();
  return status;
}
