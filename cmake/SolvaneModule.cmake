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
  # Test data and resources come from the test main (tests/common/TestMain.cpp).
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
endfunction()
