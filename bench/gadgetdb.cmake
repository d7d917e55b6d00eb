corvalith_benchmark(gadgetdb_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/gadgetdb_bench.cc
                    LIBS gadget)
