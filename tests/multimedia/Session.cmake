# Encoder session and configuration recipes against the recording fake engine.
mc_add_test(CxWMEncoderTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/CxWMEncoderTest.cpp
  LIBS mc_session mc_fakeengine)
mc_add_test(ConvertRecipesTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConvertRecipesTest.cpp
  LIBS mc_session mc_fakeengine)
