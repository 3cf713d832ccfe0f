# DVD title discovery (CxDVDChecker); no Qt, no engine.
add_library(mc_dvd STATIC ${CMAKE_CURRENT_SOURCE_DIR}/CxDVDUtil.cpp)
target_include_directories(mc_dvd PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(mc_dvd PUBLIC mc_misc)
mc_warnings(mc_dvd)
