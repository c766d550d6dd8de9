# Helpers that make the program; src/control makes the one that is installed,
# the tests another one that reaches the simulated cloud over HTTPS.

# tavorin_add_program(NAME API_ROOT): the program, with API_ROOT (the scheme
# and host every request goes to) compiled in. It sits above every module:
# main.cpp, the process entry, links the control module and the platform's
# HTTP client, and, where the build has a window, the code that opens it.
function(tavorin_add_program name apiRoot)
  set(TAVORIN_API_ROOT "${apiRoot}")
  set(control_dir ${PROJECT_SOURCE_DIR}/src/control)
  set(config_dir ${CMAKE_CURRENT_BINARY_DIR}/${name}-config)
  configure_file(${control_dir}/build_config.h.in ${config_dir}/build_config.h @ONLY)
  add_executable(${name} ${control_dir}/main.cpp)
  target_include_directories(${name} PRIVATE ${config_dir})
  target_link_libraries(${name} PRIVATE tavorin::control tavorin::http tavorin::os)
  if(TAVORIN_WITH_WINDOW)
    target_sources(${name} PRIVATE ${control_dir}/window_loader_${TAVORIN_PLATFORM}.cpp)
    if(WIN32)
      # The system's own window, linked into the program.
      target_link_libraries(${name} PRIVATE tavorin::window)
    else()
      # The window's toolkit stays out of the program: it loads the window
      # module only when started without arguments.
      target_link_libraries(${name} PRIVATE ${CMAKE_DL_LIBS})
      file(RELATIVE_PATH module_dir_from_program ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/tavorin)
      target_compile_definitions(${name} PRIVATE
        TAVORIN_WINDOW_MODULE="tavorin-window${CMAKE_SHARED_MODULE_SUFFIX}"
        TAVORIN_WINDOW_MODULE_INSTALL_DIR="${module_dir_from_program}"
        TAVORIN_WINDOW_PACKAGE="${CPACK_DEBIAN_WINDOW_PACKAGE_NAME}")
    endif()
  endif()
  if(WIN32)
    # A windowed program: no console window appears when a person starts it.
    set_target_properties(${name} PROPERTIES WIN32_EXECUTABLE ON)
    # Released without its symbol table, a smaller download, and without the
    # link time in its header, so that the same sources give the same bytes.
    target_link_options(${name} PRIVATE "$<$<CONFIG:Release>:-s;-Wl,--no-insert-timestamp>")
  endif()
endfunction()
