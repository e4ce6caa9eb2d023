# System time, master time and PTP on the daemon tests' fixture (a fake
# "ConfigSrvc" thread and the recorder seam). It also runs under the ARM
# emulator, where `long` is 32 bits: the 2038 rows matter there.
add_executable(time_tests ${CMAKE_CURRENT_LIST_DIR}/time_test.cpp)
syssrv_target(time_tests)
target_link_libraries(time_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
gtest_discover_tests(time_tests PROPERTIES LABELS daemon)
