# Alert forwarding, the process-monitor links and the self-test results, on
# the daemon fixture; the self-test log comes from a pseudo-terminal.
add_executable(links_tests ${CMAKE_CURRENT_LIST_DIR}/links_test.cpp)
syssrv_target(links_tests)
target_link_libraries(links_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
gtest_discover_tests(links_tests PROPERTIES LABELS daemon)
