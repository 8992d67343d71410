# Runs libtiff's tiffinfo -D on FILE and fails unless it reads DIRECTORIES
# directories without error, with no warning other than its notice of the
# custom tag 34953, which it does not know.
#
#   cmake -DTIFFINFO=<tool> -DFILE=<file> -DDIRECTORIES=<n> -P check_with_tiffinfo.cmake
execute_process(COMMAND ${TIFFINFO} -D ${FILE}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "tiffinfo -D ${FILE} exited with ${result}:\n${err}")
endif()

string(REPLACE "\n" ";" lines "${err}")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "Unknown field with tag 34953 ")
    message(FATAL_ERROR "tiffinfo -D ${FILE} complained: ${line}")
  endif()
endforeach()

string(REGEX MATCHALL "TIFF Directory at offset" found "${out}")
list(LENGTH found count)
if(NOT count EQUAL DIRECTORIES)
  message(FATAL_ERROR "tiffinfo -D ${FILE} listed ${count} directories, expected ${DIRECTORIES}:\n${out}")
endif()
string(REGEX MATCHALL "Tag 34953: [1-9][0-9]*" tags "${out}")
list(LENGTH tags tagCount)
if(NOT tagCount EQUAL DIRECTORIES)
  message(FATAL_ERROR "tiffinfo -D ${FILE}: ${tagCount} directories point at a sub-file block, expected ${DIRECTORIES}")
endif()
