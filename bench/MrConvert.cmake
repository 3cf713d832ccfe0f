# mr-convert: converts one source through the encoder session and the
# single-file recipe on the FFmpeg engine, for tests and benchmarks.
if(TARGET mc_engine_ffmpeg)
  add_executable(mr-convert ${CMAKE_CURRENT_LIST_DIR}/MrConvert.cpp)
  target_link_libraries(mr-convert PRIVATE mc_session mc_engine_ffmpeg)
  set_target_properties(mr-convert PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  mc_warnings(mr-convert)
  if(TARGET mc_engine_profiles)
    add_dependencies(mr-convert mc_engine_profiles)
  endif()
endif()
