# engine-probe: the engine's own latency and memory measurements for the
# benchmark (scripts/bench), driving the FFmpeg engine without the session.
if(TARGET mc_engine_ffmpeg)
  add_executable(engine-probe ${CMAKE_CURRENT_LIST_DIR}/EngineProbe.cpp)
  target_link_libraries(engine-probe PRIVATE mc_engine_ffmpeg)
  set_target_properties(engine-probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  mc_warnings(engine-probe)
  add_dependencies(engine-probe mc_engine_profiles)
endif()
