# Encoder session: the engine session, its error texts and the two
# configuration recipes. No Qt; the message box side is mc_session_ui.
add_library(mc_session STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CxWMEncoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CxWMEncoderErrors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CxWMEncoderRun.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConvertRecipes.cpp
)
target_include_directories(mc_session PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(mc_session PUBLIC mc_misc mc_mrdata mc_engine)
mc_warnings(mc_session)

if(MC_BUILD_GUI)
  add_library(mc_session_ui STATIC ${CMAKE_CURRENT_LIST_DIR}/CxWMEncoderShowError.cpp)
  target_link_libraries(mc_session_ui PUBLIC mc_session mc_ui)
  mc_warnings(mc_session_ui)
endif()
