# Installation like any Debian tool: the program in bin/, its libraries (the host interface,
# the platform and the three component libraries) in lib/orvex/ with the registry that lists the
# component classes, and manual pages made from --help. Nothing installed names an absolute
# path: the program finds lib/orvex relative to itself and the registry names its libraries
# relative to its own folder, so DESTDIR staging and any prefix work.

set(ORVEX_INSTALL_COMPONENT_DIR lib/orvex CACHE STRING "Folder of the libraries, under the prefix")
file(RELATIVE_PATH _orvex_from_bin "/prefix/bin" "/prefix/${ORVEX_INSTALL_COMPONENT_DIR}")
target_compile_definitions(orvexhost PRIVATE ORVEX_INSTALLED_COMPONENT_FOLDER="${_orvex_from_bin}")
set_target_properties(orvex PROPERTIES INSTALL_RPATH "$ORIGIN/${_orvex_from_bin}")

install(TARGETS orvex RUNTIME DESTINATION bin)
install(TARGETS orvexhost orvexplatform orvexcore orvexui orvexrange LIBRARY DESTINATION ${ORVEX_INSTALL_COMPONENT_DIR}
        NAMELINK_SKIP)

# The installed registry and the manual pages, made by the built program.
set(_orvex_generated ${PROJECT_BINARY_DIR}/install-files)
find_program(ORVEX_HELP2MAN help2man)
add_custom_command(
  OUTPUT ${_orvex_generated}/registry ${_orvex_generated}/man1.stamp
  # A sanitizer build's program would report GDAL's process-long allocations at exit.
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 ${CMAKE_COMMAND} -DORVEX=$<TARGET_FILE:orvex> -DOUT=${_orvex_generated}
          -DLIBRARIES=$<TARGET_FILE:orvexcore>$<SEMICOLON>$<TARGET_FILE:orvexui>$<SEMICOLON>$<TARGET_FILE:orvexrange>
          -DHELP2MAN=${ORVEX_HELP2MAN} -DVERSION=${PROJECT_VERSION}
          -P ${PROJECT_SOURCE_DIR}/cmake/OrvexInstallFiles.cmake
  DEPENDS orvex orvexcore orvexui orvexrange ${PROJECT_SOURCE_DIR}/cmake/OrvexInstallFiles.cmake
  COMMENT "Registry and manual pages for installation"
  VERBATIM)
add_custom_target(orvex_install_files ALL DEPENDS ${_orvex_generated}/registry ${_orvex_generated}/man1.stamp)
install(FILES ${_orvex_generated}/registry DESTINATION ${ORVEX_INSTALL_COMPONENT_DIR})
install(DIRECTORY ${_orvex_generated}/man1 DESTINATION share/man OPTIONAL)

# `make package`: a .deb for prefix /usr whose dependencies dpkg-shlibdeps reads off the
# installed binaries (GDAL, PROJ, GEOS, libmdb, cairo and the C++ runtime as Debian ships them).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VENDOR "Orvex developers")
set(CPACK_PACKAGE_CONTACT "Orvex developers <orvex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Wildlife home-range analysis: kernel UDs, isopleths, MCPs")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "proj-data")
if(ORVEX_HAVE_PYTHON)
  # The module's own needs; a study on Dask also wants python3-distributed, recommended only.
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", python3, python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-distributed")
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
