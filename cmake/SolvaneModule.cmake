# A module is every .cpp under its folders: adding a file needs no CMake edit.
function(solvane_sources out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.c")
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# A GoogleTest executable for one module, registered test by test with CTest.
function(solvane_test name)
  cmake_parse_arguments(T "" "" "DIRS;LIBS" ${ARGN})
  solvane_sources(srcs ${T_DIRS})
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE solvane_testsupport ${T_LIBS} GTest::gtest GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    # One variable per property: a list of two in ENVIRONMENT is split on its way through the
    # discovery script and the second variable is lost.
    PROPERTIES ENVIRONMENT "SOLVANE_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data"
               ENVIRONMENT_MODIFICATION "SOLVANE_RESOURCES=set:${SOLVANE_RESOURCES_DIR}")
endfunction()
