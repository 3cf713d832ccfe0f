# Profile store loader on mutated mrprof.dat files; seeds in corpus/profilestore.
add_executable(ProfileStoreFuzz ${CMAKE_CURRENT_SOURCE_DIR}/ProfileStoreFuzz.cpp)
target_link_libraries(ProfileStoreFuzz PRIVATE mc_mrdata)
target_compile_options(ProfileStoreFuzz PRIVATE -fsanitize=fuzzer)
target_link_options(ProfileStoreFuzz PRIVATE -fsanitize=fuzzer)
mc_warnings(ProfileStoreFuzz)
