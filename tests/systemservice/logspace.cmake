# Log-space monitor, threshold and log transfer on the daemon tests' fixture.
add_executable(logspace_tests ${CMAKE_CURRENT_LIST_DIR}/logspace_test.cpp)
syssrv_target(logspace_tests)
target_link_libraries(logspace_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
gtest_discover_tests(logspace_tests PROPERTIES LABELS daemon)
