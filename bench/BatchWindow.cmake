# batch-window: one run window converting a long batch in one engine session,
# printing memory and open descriptors as items end (scripts/bench-batch).
if(TARGET mc_engine_ffmpeg AND TARGET mc_gui)
  add_executable(batch-window ${CMAKE_CURRENT_LIST_DIR}/BatchWindow.cpp)
  target_link_libraries(batch-window PRIVATE mc_gui mc_engine_ffmpeg)
  set_target_properties(batch-window PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  mc_warnings(batch-window)
  if(TARGET mc_engine_profiles)
    add_dependencies(batch-window mc_engine_profiles)
  endif()
endif()
