# Drive table from mutated CD lists and mount tables; seeds in corpus/drivetable.
add_executable(DriveTableFuzz ${CMAKE_CURRENT_SOURCE_DIR}/DriveTableFuzz.cpp)
target_link_libraries(DriveTableFuzz PRIVATE mc_misc)
target_compile_options(DriveTableFuzz PRIVATE -fsanitize=fuzzer)
target_link_options(DriveTableFuzz PRIVATE -fsanitize=fuzzer)
mc_warnings(DriveTableFuzz)
