# Settings file reader and writer on mutated files; seeds in corpus/privateprofile.
# Built from its source alone: the reader needs neither Qt nor the rest of mc_ui.
add_executable(PrivateProfileFuzz ${CMAKE_CURRENT_SOURCE_DIR}/PrivateProfileFuzz.cpp
                                  ${PROJECT_SOURCE_DIR}/common/ui/PrivateProfile.cpp)
target_include_directories(PrivateProfileFuzz PRIVATE ${PROJECT_SOURCE_DIR}/common/ui)
target_compile_options(PrivateProfileFuzz PRIVATE -fsanitize=fuzzer)
target_link_options(PrivateProfileFuzz PRIVATE -fsanitize=fuzzer)
mc_warnings(PrivateProfileFuzz)
