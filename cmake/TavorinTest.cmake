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

# tavorin_add_other_program_tests(SYSTEM): called where e2e_test is made, its
# cases and the window test's clicks once more with the program of another
# build, where given: SYSTEM windows runs TAVORIN_WINDOWS_PROGRAM under Wine,
# the cases in the Windows build's prefix and the window in one of its own
# whose Wine starts with the display; arm64 runs TAVORIN_ARM64_BUILD's program
# under its qemu-run.
function(tavorin_add_other_program_tests system)
  if(system STREQUAL windows AND TAVORIN_WINDOWS_PROGRAM)
    set(program ${TAVORIN_WINDOWS_PROGRAM})
    cmake_path(GET program PARENT_PATH windows_build)
    tavorin_wine_fixture(e2e_wine ${windows_build}/wine-prefix)
    set(prefix ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix)
    tavorin_wine_fixture(window_wine ${prefix} STOPPED ${program} --version)
    set(cases FIXTURES_REQUIRED e2e_wine)
    set(window FIXTURES_REQUIRED window_wine ENVIRONMENT TAVORIN_WINEPREFIX=${prefix})
  elseif(system STREQUAL arm64 AND TAVORIN_ARM64_BUILD)
    set(program ${TAVORIN_ARM64_BUILD}/src/control/tavorin)
    set(cases ENVIRONMENT_MODIFICATION TAVORIN_E2E_EMULATOR=set:${TAVORIN_ARM64_BUILD}/qemu-run)
    set(window ${cases})
  else()
    return()
  endif()
  gtest_discover_tests(e2e_test TEST_PREFIX ${system}. DISCOVERY_TIMEOUT 30 NO_PRETTY_VALUES
    PROPERTIES RESOURCE_LOCK tavorin_cloud_port LABELS e2e-${system} TIMEOUT 300
               ENVIRONMENT TAVORIN_E2E_PROGRAM=${program} ${cases})
  if(TAVORIN_WITH_WINDOW)
    tavorin_add_window_e2e(window_e2e_${system} ${program} ${window})
  endif()
endfunction()
