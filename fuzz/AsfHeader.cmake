# Content description rewrite of finished files on mutated bytes; seeds in corpus/asfheader.
add_executable(AsfHeaderFuzz ${CMAKE_CURRENT_SOURCE_DIR}/AsfHeaderFuzz.cpp)
target_link_libraries(AsfHeaderFuzz PRIVATE mc_engine_ffmpeg)
target_compile_options(AsfHeaderFuzz PRIVATE -fsanitize=fuzzer)
target_link_options(AsfHeaderFuzz PRIVATE -fsanitize=fuzzer)
mc_warnings(AsfHeaderFuzz)
