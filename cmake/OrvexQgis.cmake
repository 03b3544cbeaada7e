# Finds the QGIS development files (headers, libqgis_core, libqgis_gui) and Qt 5.
# ORVEX_QGIS: AUTO builds the desktop host when both are found, ON requires them, OFF skips it.
set(ORVEX_QGIS AUTO CACHE STRING "Build the QGIS desktop host (AUTO, ON, OFF)")
set_property(CACHE ORVEX_QGIS PROPERTY STRINGS AUTO ON OFF)
set(ORVEX_HAVE_QGIS OFF)
if(NOT ORVEX_QGIS STREQUAL "OFF")
  find_package(Qt5 COMPONENTS Core Gui Widgets Xml QUIET)
  find_path(QGIS_INCLUDE_DIR qgsapplication.h PATH_SUFFIXES qgis)
  find_library(QGIS_CORE_LIBRARY qgis_core)
  find_library(QGIS_GUI_LIBRARY qgis_gui)
  if(Qt5Widgets_FOUND AND QGIS_INCLUDE_DIR AND QGIS_CORE_LIBRARY AND QGIS_GUI_LIBRARY)
    set(ORVEX_HAVE_QGIS ON)
    add_library(orvex_qgis_api INTERFACE)
    # SYSTEM: the warnings of QGIS's headers are not ours to fix.
    target_include_directories(orvex_qgis_api SYSTEM INTERFACE ${QGIS_INCLUDE_DIR})
    target_link_libraries(orvex_qgis_api INTERFACE ${QGIS_CORE_LIBRARY} ${QGIS_GUI_LIBRARY}
                          Qt5::Core Qt5::Gui Qt5::Widgets Qt5::Xml)
    message(STATUS "QGIS found: the desktop host and its tests are built")
  elseif(ORVEX_QGIS STREQUAL "ON")
    message(FATAL_ERROR "ORVEX_QGIS=ON but QGIS development files (libqgis-dev, Qt 5) were not found")
  else()
    message(STATUS "QGIS not found: the desktop host is skipped")
  endif()
endif()
