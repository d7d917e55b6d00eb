corvalith_fuzzer(archive_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_fuzz.cc LIBS base)
corvalith_fuzzer(catalogue_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/catalogue_fuzz.cc LIBS base)
