# Every outside library the project links, found once here so modules only name targets.
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(Boost REQUIRED)
# The engine's loops share one pool of workers (rova::parallelFor); OpenCV runs on the same library.
find_package(TBB REQUIRED)
# Debian ships OpenCV's CMake package only with the full libopencv-dev; the three modules we use
# are found directly.
find_path(OpenCV_INCLUDE_DIRS opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
set(OpenCV_LIBS)
foreach(m core imgproc photo)
  find_library(OpenCV_${m}_LIBRARY opencv_${m} REQUIRED)
  list(APPEND OpenCV_LIBS ${OpenCV_${m}_LIBRARY})
endforeach()

pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0 libplist++-2.0)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp libwebpmux libwebpdemux)
pkg_check_modules(LIBRAW REQUIRED IMPORTED_TARGET libraw_r)
pkg_check_modules(EXIV2 REQUIRED IMPORTED_TARGET exiv2)
pkg_check_modules(LCMS2 REQUIRED IMPORTED_TARGET lcms2)
pkg_check_modules(OPENJP2 REQUIRED IMPORTED_TARGET libopenjp2)
pkg_check_modules(LENSFUN REQUIRED IMPORTED_TARGET lensfun)
pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0)
# Unicode case mapping, case-insensitive comparison and date patterns of export file names.
find_package(ICU REQUIRED COMPONENTS uc i18n)
# The web service client (HTTP and HTTPS transfers of the application's services).
find_package(CURL REQUIRED)

if(SOLVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(SOLVANE_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()

# The interface toolkit and the programs: Qt 6 Widgets, with Qt SVG for the artwork; the application
# also uses Qt Network (its single-instance local socket) and Qt Multimedia (its sound cues).
find_package(Qt6 REQUIRED COMPONENTS Widgets Svg Network Multimedia DBus)
