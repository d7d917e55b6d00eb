corvalith_fuzzer(gadgetdb_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/gadgetdb_fuzz.cc LIBS gadget)
