# Image codecs against the libraries' own decoders on 12-megapixel inputs made at start-up.
corvalith_benchmark(images_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/images_bench.cc
                    LIBS base_image base_image_testing PkgConfig::TURBOJPEG PkgConfig::LIBPNG
                    PkgConfig::LIBRAW)
