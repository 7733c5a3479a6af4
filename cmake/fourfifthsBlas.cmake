# The Level-1 BLAS (ddot, daxpy, dscal) through its C interface, cblas.h, as
# the imported target fourfifths::cblas. Used by the build and by projects
# that find the installed package.
#
# Tried in order, each with the header cblas.h and a library that provides
# cblas_ddot: pkg-config's 'cblas' (OpenBLAS, BLIS and others ship one), its
# 'blas' (Debian's single-threaded reference BLAS, whose library carries the C
# interface too; at matrix orders of at most 9 a threaded BLAS only adds
# start-up time), then CMake's own FindBLAS.
if(TARGET fourfifths::cblas)
  return()
endif()

include(CheckSymbolExists)
include(CMakePushCheckState)
find_package(PkgConfig QUIET)

# Whether the libraries and the include directory give a program cblas_ddot.
function(_fourfifths_cblas_works result libraries include_dir)
  cmake_push_check_state(RESET)
  set(CMAKE_REQUIRED_QUIET ON)
  set(CMAKE_REQUIRED_LIBRARIES ${libraries})
  set(CMAKE_REQUIRED_INCLUDES ${include_dir})
  unset(_fourfifths_cblas_ddot CACHE)
  check_symbol_exists(cblas_ddot cblas.h _fourfifths_cblas_ddot)
  set(${result} ${_fourfifths_cblas_ddot} PARENT_SCOPE)
  unset(_fourfifths_cblas_ddot CACHE)
  cmake_pop_check_state()
endfunction()

set(_fourfifths_cblas_libraries "")
set(_fourfifths_cblas_include "")
if(PkgConfig_FOUND)
  foreach(_module IN ITEMS cblas blas)
    pkg_check_modules(_fourfifths_pc_${_module} QUIET ${_module})
    if(NOT _fourfifths_pc_${_module}_FOUND)
      continue()
    endif()
    find_path(_fourfifths_cblas_h_${_module} cblas.h
      HINTS ${_fourfifths_pc_${_module}_INCLUDE_DIRS}
      PATH_SUFFIXES ${CMAKE_LIBRARY_ARCHITECTURE} openblas blis)
    set(_libraries "")
    foreach(_name IN LISTS _fourfifths_pc_${_module}_LIBRARIES)
      find_library(_fourfifths_lib_${_module}_${_name} ${_name}
        HINTS ${_fourfifths_pc_${_module}_LIBRARY_DIRS})
      list(APPEND _libraries ${_fourfifths_lib_${_module}_${_name}})
    endforeach()
    if(_fourfifths_cblas_h_${_module} AND _libraries)
      _fourfifths_cblas_works(_works "${_libraries}" "${_fourfifths_cblas_h_${_module}}")
      if(_works)
        set(_fourfifths_cblas_libraries ${_libraries})
        set(_fourfifths_cblas_include ${_fourfifths_cblas_h_${_module}})
        break()
      endif()
    endif()
  endforeach()
endif()

if(NOT _fourfifths_cblas_libraries)
  find_package(BLAS QUIET)
  find_path(_fourfifths_cblas_h_findblas cblas.h
    PATH_SUFFIXES ${CMAKE_LIBRARY_ARCHITECTURE} openblas blis)
  if(BLAS_FOUND AND _fourfifths_cblas_h_findblas)
    _fourfifths_cblas_works(_works "${BLAS_LIBRARIES}" "${_fourfifths_cblas_h_findblas}")
    if(_works)
      set(_fourfifths_cblas_libraries ${BLAS_LIBRARIES})
      set(_fourfifths_cblas_include ${_fourfifths_cblas_h_findblas})
    endif()
  endif()
endif()

if(NOT _fourfifths_cblas_libraries)
  message(FATAL_ERROR
    "The reference BLAS with its CBLAS header was not found. "
    "Install the Debian package libblas-dev (apt-get install libblas-dev).")
endif()

add_library(fourfifths::cblas INTERFACE IMPORTED GLOBAL)
set_target_properties(fourfifths::cblas PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${_fourfifths_cblas_include}"
  INTERFACE_LINK_LIBRARIES "${_fourfifths_cblas_libraries}")
