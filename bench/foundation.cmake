corvalith_benchmark(process_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/process_bench.cc LIBS base)
