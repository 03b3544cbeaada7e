# Start-up of a program that links GDAL is mostly the dynamic loader binding symbols. Each
# look-up walks the loaded libraries in breadth-first order until one defines the symbol, and
# GDAL brings over a hundred. The libraries that receive the most bindings (largely their own
# exported functions calling each other) sit deep in that order: OpenBLAS, reached through
# Armadillo, is about the 110th and receives 12,000 of GDAL's 68,000 bindings.
#
# orvex_load_early(<target>) names those libraries first among <target>'s needed libraries,
# so their look-ups end after a few steps; the rest keep their order. The list is ranked by
# the bindings each receives (LD_DEBUG=bindings on orvex itself, GDAL 3.6, Debian 12), down to
# about a hundred; libm precedes libc, which exports some of its functions too. Only libraries in
# GDAL's own closure are named, so nothing more is loaded. A symbol binds elsewhere than
# before only where several libraries carry a copy of the same C++ inline function or
# template instance, copies that the one-definition rule makes identical.
set(ORVEX_LOAD_EARLY
    libopenblas.so libxerces-c libgdal.so libgeos.so libm.so libc.so libcrypto.so libstdc++.so libproj.so
    libpoppler.so libkmldom.so libsqlite3.so libnetcdf.so libhdf5_serial.so libspatialite.so libgnutls.so
    libnettle.so libdfalt.so librttopo.so libnss3.so libgeos_c.so libunistring.so libqhull_r.so libLerc.so
    libnssutil3.so libldap libnspr4.so libssl.so liblcms2.so libpng16.so libhogweed.so libX11.so
    libkmlengine.so libfyba.so libxml2.so libmariadb.so libtiff.so libtirpc.so libodbc.so libjpeg.so
    libgssapi_krb5.so libogdi.so liblber libcfitsio.so libfreetype.so libssh2.so libmfhdfalt.so libgmp.so
    libkmlbase.so libzstd.so libpixman-1.so libz.so libsmime3.so libcurl-gnutls.so libheif.so libpq.so
    libgeotiff.so)

function(orvex_load_early target)
  if(ORVEX_SANITIZE)
    return()  # the sanitizer runtime must come first; its builds are not for speed
  endif()
  get_target_property(_configs GDAL::GDAL IMPORTED_CONFIGURATIONS)
  set(_gdal)
  foreach(_config IN LISTS _configs)
    get_target_property(_gdal GDAL::GDAL IMPORTED_LOCATION_${_config})
    if(_gdal)
      break()
    endif()
  endforeach()
  find_program(_ldd ldd)
  if(NOT _gdal OR NOT _ldd)
    return()
  endif()
  execute_process(COMMAND ${_ldd} ${_gdal} OUTPUT_VARIABLE _closure RESULT_VARIABLE _failed)
  if(_failed)
    return()
  endif()
  # "name => /path/name (address)" per line; GDAL itself is not among its own needs.
  string(REGEX MATCHALL "=> [^ \n]+" _paths "${_closure}")
  list(TRANSFORM _paths REPLACE "^=> " "")
  list(APPEND _paths ${_gdal})
  set(_early)
  foreach(_prefix IN LISTS ORVEX_LOAD_EARLY)
    foreach(_path IN LISTS _paths)
      get_filename_component(_file ${_path} NAME)
      string(FIND "${_file}" "${_prefix}" _at)
      if(_at EQUAL 0 AND NOT _path IN_LIST _early)
        list(APPEND _early ${_path})
        break()
      endif()
    endforeach()
  endforeach()
  if(_early)
    target_link_libraries(${target} PRIVATE "-Wl,--push-state,--no-as-needed" ${_early} "-Wl,--pop-state")
  endif()
endfunction()
