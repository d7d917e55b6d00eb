corvalith_fuzzer(archive_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_fuzz.cc LIBS base)
