corvalith_fuzzer(wrap_text_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/wrap_text_fuzz.cc LIBS base)
corvalith_fuzzer(path_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_fuzz.cc LIBS base)
