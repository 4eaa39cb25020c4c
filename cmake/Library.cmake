# mendrix_library(name DEPS ...): one static library per source folder, made of every
# .cpp in it, with src/ on the include path ("paradox/Header.h").
function(mendrix_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# mendrix_test(name DEPS ... ENV ...): one test program per tests/ folder, made of every
# .cpp in it; ENV entries (NAME=value) are set for each of its tests.
function(mendrix_test name)
  cmake_parse_arguments(ARG "" "" "DEPS;ENV" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} mendrix_testsupport GTest::gtest_main GTest::gmock)
  # Test code only arranges files and compares results; the work runs in the optimised
  # libraries. Unoptimised, with the test framework's headers parsed once per program, the test
  # programs build in about a third of the time.
  target_compile_options(${name} PRIVATE -O0)
  target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <gmock/gmock.h> <filesystem>
    <functional> <map> <memory> <optional> <string> <string_view> <vector>)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 600 ENVIRONMENT "${ARG_ENV}")
endfunction()
