# DVD title discovery with fake drives mapped to temporary folders.
mc_add_test(CxDVDUtilTest SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/CxDVDUtilTest.cpp LIBS mc_dvd mc_testsupport)
