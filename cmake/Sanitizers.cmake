if(MC_SANITIZE AND MC_TSAN)
  message(FATAL_ERROR "MC_SANITIZE and MC_TSAN exclude each other")
endif()
if(MC_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(MC_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(MC_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # The fuzz targets link -fsanitize=fuzzer themselves; the libraries they
  # drive need the coverage the fuzzer steers by and the memory checks.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
