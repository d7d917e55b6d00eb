# Checks that the device database is reproducible: two fresh builds from the sources give the
# same bytes as each other and as the database the build packed.
#   cmake -DSOURCE_DIR=<resources/gadget/sql> -DBUILT=<gadget.db> -DWORK_DIR=<scratch>
#         -DSQLITE3=<sqlite3> -P reproducible.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
foreach(n 1 2)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${SOURCE_DIR}
                          -DOUTPUT=${WORK_DIR}/gadget${n}.db -DSQLITE3=${SQLITE3}
                          -P ${SOURCE_DIR}/gadget_db.cmake
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "build ${n} of the device database failed")
  endif()
  file(SHA256 "${WORK_DIR}/gadget${n}.db" hash${n})
endforeach()
file(SHA256 "${BUILT}" built)
file(REMOVE_RECURSE "${WORK_DIR}")
if(NOT hash1 STREQUAL hash2 OR NOT hash1 STREQUAL built)
  message(FATAL_ERROR "device database not reproducible: ${hash1} ${hash2} ${built}")
endif()
message(STATUS "device database reproducible: ${built}")
