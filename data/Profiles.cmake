# The nine engine profile files live beside the executable. Test binaries run
# from tests/ and the headless converter from bench/, and both look beside
# themselves, so they get copies too.
set(MC_ENGINE_PROFILES
  MRProf1v.prx MRProf2v.prx MRProf3v.prx
  MRProf1h.prx MRProf2h.prx MRProf3h.prx
  MRProf1x.prx MRProf2x.prx MRProf3x.prx)
set(_mc_profile_copies)
foreach(_mc_profile ${MC_ENGINE_PROFILES})
  foreach(_mc_dir ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/tests ${CMAKE_BINARY_DIR}/bench)
    add_custom_command(OUTPUT ${_mc_dir}/${_mc_profile}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_mc_dir}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/${_mc_profile} ${_mc_dir}/${_mc_profile}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${_mc_profile}
      COMMENT "Copying ${_mc_profile} to ${_mc_dir}")
    list(APPEND _mc_profile_copies ${_mc_dir}/${_mc_profile})
  endforeach()
endforeach()
add_custom_target(mc_engine_profiles ALL DEPENDS ${_mc_profile_copies})
