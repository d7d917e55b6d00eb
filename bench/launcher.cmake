# The floor program bench/launcher_overhead.sh compares the launcher with. It is a tool of the
# script, not a benchmark binary, so it lives outside build/bench.
if(NOT CORVALITH_SANITIZE AND NOT CORVALITH_FUZZ)
  add_executable(spawn_floor ${CMAKE_CURRENT_LIST_DIR}/spawn_floor.c)
  target_link_options(spawn_floor PRIVATE -static)
  set_target_properties(spawn_floor PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                               ${CMAKE_BINARY_DIR}/bench-tools)
endif()
