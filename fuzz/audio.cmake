foreach(codec wav opus mp3)
  corvalith_fuzzer(decode_${codec}_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio_decode_fuzz.cc
                   LIBS base_audio)
  if(TARGET decode_${codec}_fuzz)
    target_compile_definitions(decode_${codec}_fuzz PRIVATE AUDIO_DECODER=base::decode_${codec})
  endif()
endforeach()
