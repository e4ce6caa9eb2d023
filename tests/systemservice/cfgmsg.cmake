# The configuration client against the fake "ConfigSrvc" thread.
add_executable(cfgmsg_tests ${CMAKE_CURRENT_LIST_DIR}/cfgmsg_test.cpp)
syssrv_target(cfgmsg_tests)
target_link_libraries(cfgmsg_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
# Each time-out costs the client's full second.
gtest_discover_tests(cfgmsg_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60 LABELS daemon)
