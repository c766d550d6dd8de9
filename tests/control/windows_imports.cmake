# Checks that a Windows program runs on a bare Windows: it must be a windowed
# (GUI subsystem) program, so that no console window flashes up, and it may
# import only DLLs that come with Windows, nothing from the compiler's runtime.
#
# cmake -DOBJDUMP=<objdump> -DPROGRAM=<program.exe> -P windows_imports.cmake
cmake_minimum_required(VERSION 3.25)
set(system_dlls advapi32.dll bcrypt.dll comctl32.dll crypt32.dll gdi32.dll kernel32.dll msvcrt.dll ntdll.dll
    ole32.dll shell32.dll user32.dll winhttp.dll ws2_32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed: ${result}")
endif()

if(NOT headers MATCHES "Subsystem[ \t]+00000002")
  message(FATAL_ERROR "${PROGRAM} is not a windowed (GUI subsystem) program")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "no imported DLLs found in ${PROGRAM}: is this objdump's output?\n${headers}")
endif()
set(foreign "")
foreach(import IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  if(NOT lower IN_LIST system_dlls)
    list(APPEND foreign ${dll})
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${PROGRAM} needs DLLs that do not come with Windows: ${foreign}")
endif()
