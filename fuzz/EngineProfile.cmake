# Engine profile files: mutated profile texts; seeds are the nine shipped files (data/*.prx).
add_executable(EngineProfileFuzz ${CMAKE_CURRENT_SOURCE_DIR}/EngineProfileFuzz.cpp)
target_link_libraries(EngineProfileFuzz PRIVATE mc_engine)
target_compile_options(EngineProfileFuzz PRIVATE -fsanitize=fuzzer)
target_link_options(EngineProfileFuzz PRIVATE -fsanitize=fuzzer)
mc_warnings(EngineProfileFuzz)
