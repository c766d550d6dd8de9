# Everything about running Linux programs for another processor under
# qemu-user. A Linux build for another processor makes for its tests only what
# this machine's build, given it as TAVORIN_ARM64_BUILD, runs: the program, the
# one for the end-to-end case over TLS beside it, and qemu-run, the emulator.
if(CMAKE_CROSSCOMPILING AND NOT WIN32)
  # The programs find their libraries where multiarch puts them, the C library
  # among them: the cross compiler's own copy in /usr/<target> (qemu's -L) is
  # another build of it, and the two mixed hang the window's toolkit.
  find_program(TAVORIN_QEMU qemu-${CMAKE_SYSTEM_PROCESSOR}-static)
  if(TAVORIN_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVORIN_QEMU})
  elseif(BUILD_TESTING)
    message(FATAL_ERROR "No emulator for the ${CMAKE_SYSTEM_PROCESSOR} programs: install qemu-user-static")
  endif()
  if(BUILD_TESTING)
    file(CREATE_LINK ${TAVORIN_QEMU} ${CMAKE_BINARY_DIR}/qemu-run SYMBOLIC)
  endif()
elseif(BUILD_TESTING AND NOT WIN32)
  set(TAVORIN_ARM64_BUILD "" CACHE PATH
      "Build directory of the arm64 program (the arm64-check preset), to run the end-to-end and window tests with it as well")
endif()
