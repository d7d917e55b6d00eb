# Builds the device database from its reviewable sources:
#   cmake -DSOURCE_DIR=<resources/gadget/sql> -DOUTPUT=<gadget.db> -DSQLITE3=<sqlite3> -P gadget_db.cmake
# Each .tsv file holds one row per line, fields separated by tabs, '#' lines are comments.
# Rows are inserted in file order (processors get ids 1, 2, ... in that order) and the result is
# VACUUMed into a fresh file, so the same sources always give the same bytes. Rows of other tables
# name their processor or device by name; a name that matches nothing fails the build.
cmake_minimum_required(VERSION 3.25)

set(PAGE_SIZE 1024)

function(sql_text out value)
  string(REPLACE "'" "''" value "${value}")
  set(${out} "'${value}'" PARENT_SCOPE)
endfunction()

# Reads `file` into `out_rows`, a list of row indexes; row i's fields are in ${prefix}_<i>.
function(read_rows file columns prefix out_count)
  file(STRINGS "${SOURCE_DIR}/${file}" lines ENCODING UTF-8)
  set(count 0)
  foreach(line IN LISTS lines)
    if(line MATCHES "^#" OR line STREQUAL "")
      continue()
    endif()
    if(line MATCHES ";|\\[|\\]|\\\\|\r")
      message(FATAL_ERROR "${file}: unsupported character in: ${line}")
    endif()
    string(REPLACE "\t" ";" fields "${line}")
    list(LENGTH fields n)
    if(NOT n EQUAL columns)
      message(FATAL_ERROR "${file}: expected ${columns} fields, got ${n}: ${line}")
    endif()
    math(EXPR count "${count} + 1")
    set(${prefix}_${count} "${fields}" PARENT_SCOPE)
  endforeach()
  set(${out_count} ${count} PARENT_SCOPE)
endfunction()

function(require_integer file value)
  if(NOT value MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${file}: not a whole number: '${value}'")
  endif()
endfunction()

# Sets each named variable, in order, to the next field of the row list `row`.
macro(take_fields row)
  set(_field 0)
  foreach(_name ${ARGN})
    list(GET ${row} ${_field} ${_name})
    math(EXPR _field "${_field} + 1")
  endforeach()
endmacro()

# Replaces each named variable's value by its SQL text literal.
macro(quote_fields)
  foreach(_name ${ARGN})
    sql_text(${_name} "${${_name}}")
  endforeach()
endmacro()

set(sql "BEGIN;\n")

read_rows(processors.tsv 9 proc proc_count)
foreach(i RANGE 1 ${proc_count})
  take_fields(proc_${i} brand name description family cores threads frequency codename package)
  foreach(v cores threads frequency)
    require_integer(processors.tsv "${${v}}")
  endforeach()
  quote_fields(name description family codename package)
  string(APPEND sql "INSERT INTO processors VALUES (${i}, ${name}, ${description}, ${family}, "
         "${cores}, ${threads}, ${frequency}, ${codename}, ${package});\n")
  if(NOT brand STREQUAL "")
    quote_fields(brand)
    string(APPEND sql "INSERT INTO processor_identifiers VALUES (${brand}, ${i});\n")
  endif()
endforeach()

macro(processor_by_name out name)
  sql_text(_quoted "${name}")
  set(${out} "(SELECT id FROM processors WHERE name = ${_quoted})")
endmacro()

read_rows(macs.tsv 5 mac mac_count)
foreach(i RANGE 1 ${mac_count})
  take_fields(mac_${i} model name description family processor)
  quote_fields(model name description family)
  processor_by_name(processor "${processor}")
  string(APPEND sql "INSERT INTO macs VALUES (${i}, ${name}, ${description}, ${family}, "
         "${model}, ${processor});\n")
endforeach()

read_rows(android_devices.tsv 5 android android_count)
foreach(i RANGE 1 ${android_count})
  take_fields(android_${i} name description family processor frequency)
  require_integer(android_devices.tsv "${frequency}")
  quote_fields(name description family)
  processor_by_name(processor "${processor}")
  string(APPEND sql "INSERT INTO android_devices VALUES (${i}, ${name}, ${description}, "
         "${family}, ${processor}, ${frequency});\n")
endforeach()

read_rows(android_device_identifiers.tsv 3 aid aid_count)
foreach(i RANGE 1 ${aid_count})
  take_fields(aid_${i} model motherboard device)
  quote_fields(model motherboard device)
  string(APPEND sql "INSERT INTO android_device_identifiers VALUES (${model}, ${motherboard}, "
         "(SELECT id FROM android_devices WHERE name = ${device}));\n")
endforeach()

read_rows(ios_devices.tsv 5 ios ios_count)
foreach(i RANGE 1 ${ios_count})
  take_fields(ios_${i} name description family processor frequency)
  require_integer(ios_devices.tsv "${frequency}")
  quote_fields(name description family processor)
  string(APPEND sql "INSERT INTO ios_devices VALUES (${i}, ${name}, ${description}, ${family}, "
         "${processor}, ${frequency});\n")
endforeach()

read_rows(ios_device_identifiers.tsv 2 iid iid_count)
foreach(i RANGE 1 ${iid_count})
  take_fields(iid_${i} model device)
  quote_fields(model device)
  string(APPEND sql "INSERT INTO ios_device_identifiers VALUES (${model}, "
         "(SELECT id FROM ios_devices WHERE name = ${device}));\n")
endforeach()

string(APPEND sql "COMMIT;\n")

# The engine runs the schema and rows into a fresh file, then rewrites it compactly.
set(work "${OUTPUT}.work")
file(REMOVE "${work}" "${OUTPUT}")
file(WRITE "${work}.sql" "PRAGMA page_size = ${PAGE_SIZE};\n.bail on\n"
     ".read '${SOURCE_DIR}/schema.sql'\n${sql}VACUUM;\nPRAGMA integrity_check;\n"
     "PRAGMA foreign_key_check;\n")
execute_process(COMMAND "${SQLITE3}" -bail "${work}" INPUT_FILE "${work}.sql"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
if(NOT result EQUAL 0 OR NOT output STREQUAL "ok\n" OR NOT error STREQUAL "")
  file(REMOVE "${work}")
  message(FATAL_ERROR "building ${OUTPUT} failed (${result}):\n${output}${error}")
endif()
file(REMOVE "${work}.sql")
file(RENAME "${work}" "${OUTPUT}")
