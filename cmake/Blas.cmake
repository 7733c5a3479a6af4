# The Level-1 BLAS (ddot, daxpy, dscal) through the CBLAS interface of Debian's
# single-threaded reference BLAS. A threaded BLAS would only add start-up time
# at the matrix orders this program uses (at most 9).
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(BLAS_NETLIB QUIET IMPORTED_TARGET blas-netlib)
endif()
find_path(CBLAS_INCLUDE_DIR cblas.h PATH_SUFFIXES x86_64-linux-gnu aarch64-linux-gnu)
if(NOT BLAS_NETLIB_FOUND OR NOT CBLAS_INCLUDE_DIR)
  message(FATAL_ERROR
    "The reference BLAS with its CBLAS header was not found. "
    "Install the Debian package libblas-dev (apt-get install libblas-dev).")
endif()
add_library(fourfifths_blas INTERFACE)
target_include_directories(fourfifths_blas INTERFACE ${CBLAS_INCLUDE_DIR})
target_link_libraries(fourfifths_blas INTERFACE PkgConfig::BLAS_NETLIB)
