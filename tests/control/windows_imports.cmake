# Checks that the Windows program runs on a bare Windows: a windowed (GUI
# subsystem) program, so that no console flashes up, importing only DLLs that
# come with Windows. cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -P windows_imports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "DLL Name: [^\n.]+" imports "${headers}")
string(TOLOWER "${imports}" imports)
list(TRANSFORM imports REPLACE "^dll name: " "")
list(REMOVE_ITEM imports advapi32 bcrypt comctl32 crypt32 gdi32 kernel32 msvcrt ntdll ole32 shell32 user32 winhttp ws2_32)
if(NOT headers MATCHES "Subsystem[ \t]+00000002" OR NOT headers MATCHES "DLL Name: " OR imports)
  message(FATAL_ERROR "${PROGRAM} is not a windowed program importing system DLLs alone: ${imports}\n${headers}")
endif()
