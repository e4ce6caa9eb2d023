# Entry, main loop, message layer and LAN module, on one fixture.
add_executable(daemon_core_tests
  ${CMAKE_CURRENT_LIST_DIR}/test_main_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_lan.cpp)
syssrv_target(daemon_core_tests)
target_link_libraries(daemon_core_tests PRIVATE cfg_test_fixture syssrvcore GTest::gtest_main Threads::Threads)
gtest_discover_tests(daemon_core_tests DISCOVERY_TIMEOUT 30 PROPERTIES LABELS daemon)
