# Helpers for the tests: one test executable per module, each GoogleTest case
# its own CTest test (the Windows build's under Wine, see wine.cmake), and the
# end-to-end and window cases once more with the programs of other builds.
if(CMAKE_CROSSCOMPILING)
  tavorin_wine_googletest()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# tavorin_add_test(NAME SOURCES... LIBRARIES... PROPERTIES...): a test
# executable of GoogleTest cases.
function(tavorin_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBRARIES;PROPERTIES")
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(CMAKE_CROSSCOMPILING)
    tavorin_add_wine_test(${name} ${ARG_PROPERTIES})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 NO_PRETTY_VALUES PROPERTIES ${ARG_PROPERTIES})
  endif()
endfunction()

# tavorin_add_e2e_cases(TARGET NAME PROPERTIES...): the end-to-end cases of
# TARGET once more as NAME.<case>, labelled e2e-NAME, with the program that
# PROPERTIES' environment names.
function(tavorin_add_e2e_cases target name)
  gtest_discover_tests(${target} TEST_PREFIX ${name}. DISCOVERY_TIMEOUT 30 NO_PRETTY_VALUES
    PROPERTIES RESOURCE_LOCK tavorin_cloud_port LABELS e2e-${name} TIMEOUT 300 ${ARGN})
endfunction()

# tavorin_add_window_e2e(NAME PROGRAM PROPERTIES...): tests/window/window_e2e.sh
# drives PROGRAM's window in a real X server as a person would, against the
# simulated cloud; labelled as NAME with dashes.
function(tavorin_add_window_e2e name program)
  string(REPLACE _ - label ${name})
  add_test(NAME ${name}
    COMMAND timeout --kill-after=5 150 bash ${PROJECT_SOURCE_DIR}/tests/window/window_e2e.sh
            ${program} $<TARGET_FILE:sim-cloud> ${tavorin_cloud_port})
  set_tests_properties(${name} PROPERTIES LABELS ${label} RESOURCE_LOCK tavorin_cloud_port TIMEOUT 180 ${ARGN})
endfunction()
