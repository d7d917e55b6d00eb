corvalith_benchmark(resources_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/resources_bench.cc
                    LIBS base)
