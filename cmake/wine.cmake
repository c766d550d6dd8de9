# Runs the cross-built test programs under Wine, in a Wine prefix of the build
# tree's own so that nothing outside it is touched.
find_program(TAVORIN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(TAVORIN_WINE NAMES wine64 wine)
if(TAVORIN_WINE)
  set(TAVORIN_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEPREFIX=${TAVORIN_WINE_PREFIX} WINEDEBUG=-all ${TAVORIN_WINE})
else()
  message(STATUS "Wine not found: the Windows tests are built but not run")
endif()
