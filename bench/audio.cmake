corvalith_benchmark(audio_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio_bench.cc
                    LIBS base_audio PkgConfig::SNDFILE PkgConfig::OPUSFILE PkgConfig::MPG123)
