# Checks that the Windows program runs on a bare Windows: a windowed (GUI
# subsystem) program, so that no console window flashes up, importing only DLLs
# that come with Windows, nothing from the compiler's runtime.
#
# cmake -DOBJDUMP=<objdump> -DPROGRAM=<program.exe> -P windows_imports.cmake
cmake_minimum_required(VERSION 3.25)
set(system_dlls advapi32 bcrypt comctl32 crypt32 gdi32 kernel32 msvcrt ntdll ole32 shell32 user32 winhttp ws2_32)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
if(NOT headers MATCHES "Subsystem[ \t]+00000002")
  message(FATAL_ERROR "${PROGRAM} is not a windowed (GUI subsystem) program")
endif()
string(REGEX MATCHALL "DLL Name: [^\n.]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "no imported DLLs found in ${PROGRAM}: is this objdump's output?\n${headers}")
endif()
string(TOLOWER "${imports}" imports)
list(TRANSFORM imports REPLACE "^dll name: " "")
list(REMOVE_ITEM imports ${system_dlls})
if(imports)
  message(FATAL_ERROR "${PROGRAM} needs DLLs that do not come with Windows: ${imports}")
endif()
