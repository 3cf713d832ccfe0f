# Encoder session and configuration recipes against the recording fake engine.
mc_add_test(CxWMEncoderTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/CxWMEncoderTest.cpp
  LIBS mc_session mc_fakeengine)
mc_add_test(ConvertRecipesTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConvertRecipesTest.cpp
  LIBS mc_session mc_fakeengine)

# The headless converter end to end on the FFmpeg engine.
if(TARGET mr-convert)
  mc_add_test(MrConvertTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/MrConvertTest.cpp LIBS mc_testsupport TIMEOUT 300)
  add_dependencies(MrConvertTest mr-convert)
  # Broken sources, a full disc and odd names through the same converter.
  mc_add_test(BadMediaTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/BadMediaTest.cpp LIBS mc_testsupport TIMEOUT 300)
  add_dependencies(BadMediaTest mr-convert)
endif()
