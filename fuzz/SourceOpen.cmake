# Opening of mutated media files as sources (Prepare only); seeds in corpus/sourceopen.
add_executable(SourceOpenFuzz ${CMAKE_CURRENT_SOURCE_DIR}/SourceOpenFuzz.cpp)
target_link_libraries(SourceOpenFuzz PRIVATE mc_engine_ffmpeg)
target_compile_options(SourceOpenFuzz PRIVATE -fsanitize=fuzzer)
target_link_options(SourceOpenFuzz PRIVATE -fsanitize=fuzzer)
mc_warnings(SourceOpenFuzz)
