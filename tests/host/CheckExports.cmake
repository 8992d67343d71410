# Checks that a built plug-in exports exactly one defined dynamic symbol of
# its own, the module entry point, and no data.
# Usage: cmake -DNM=<nm> -DMODULE=<fennick.so> -P CheckExports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${MODULE}: ${err}")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) (.+)$")
    set(kind "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    list(APPEND found "${kind} ${name}")
  endif()
endforeach()
if(NOT found STREQUAL "T _ILxModule_Create")
  message(FATAL_ERROR "${MODULE} exports [${found}], expected exactly [T _ILxModule_Create]")
endif()
message(STATUS "${MODULE}: exports ${found}")
