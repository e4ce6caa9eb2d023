# Logging configuration on the daemon fixture; the core linked, as it hands down the LAN test.
add_executable(logging_tests ${CMAKE_CURRENT_LIST_DIR}/logging_test.cpp)
syssrv_target(logging_tests)
target_link_libraries(logging_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
gtest_discover_tests(logging_tests PROPERTIES LABELS daemon)
