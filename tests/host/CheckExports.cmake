# Checks that a built plug-in exports exactly one symbol of its own, the
# module entry point, and no data.
# Usage: cmake -DNM=<nm> -DMODULE=<fennick.so> -P CheckExports.cmake
#    or: cmake -DOBJDUMP=<objdump> -DMODULE=<fennick.dll> -P CheckExports.cmake
# A Windows DLL's exports are the names of its export table (objdump -p),
# which must carry the name undecorated: no leading underscore added, no
# "@<bytes>" of a stdcall function.
if(OBJDUMP)
  execute_process(COMMAND ${OBJDUMP} -p ${MODULE}
    OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${MODULE}: ${err}")
  endif()
  string(REPLACE "\n" ";" lines "${listing}")
  set(found "")
  set(inNames FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
      set(inNames TRUE)
    elseif(inNames AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
      list(APPEND found "${CMAKE_MATCH_1}")
    elseif(inNames AND NOT line MATCHES "^[ \t]*$")
      set(inNames FALSE)
    endif()
  endforeach()
  set(expected "_ILxModule_Create")
else()
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
  set(expected "T _ILxModule_Create")
endif()
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "${MODULE} exports [${found}], expected exactly [${expected}]")
endif()
message(STATUS "${MODULE}: exports ${found}")
