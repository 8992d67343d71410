# Checks that a built Windows plug-in imports only DLLs that every Windows
# system has: a host loads the plug-in from its own folder and will not find
# the compiler's runtime DLLs (libstdc++, libgcc, libwinpthread) or any other
# library there, so these must be linked in.
# Usage: cmake -DOBJDUMP=<objdump> -DMODULE=<fennick.dll> -P CheckImports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${MODULE}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${MODULE}: ${err}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" entries "${listing}")
set(imported "")
set(foreign "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  list(APPEND imported "${dll}")
  # The system's own DLLs and the C runtimes it carries.
  if(NOT lower MATCHES "^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|ws2_32|ntdll|msvcrt|ucrtbase)\\.dll$"
     AND NOT lower MATCHES "^api-ms-win-.*\\.dll$")
    list(APPEND foreign "${dll}")
  endif()
endforeach()
if(NOT imported)
  message(FATAL_ERROR "no import table read from ${MODULE}:\n${listing}")
endif()
if(foreign)
  message(FATAL_ERROR "${MODULE} imports [${foreign}], which a host does not provide; all imports: [${imported}]")
endif()
message(STATUS "${MODULE}: imports only system DLLs [${imported}]")
