# Entry, main loop and message layer.
add_executable(daemon_core_tests
  test_main_fixture.cpp
  test_main_loop.cpp
  test_message_layer.cpp
  test_message_virtkey.cpp)
syssrv_target(daemon_core_tests)
target_link_libraries(daemon_core_tests PRIVATE daemon_test_fakes syssrvcore GTest::gtest_main Threads::Threads)
gtest_discover_tests(daemon_core_tests DISCOVERY_TIMEOUT 30)
