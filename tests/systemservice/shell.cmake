# Remote shells, intrusion detection, the banner file and the two kernel
# switches, on the daemon fixture (test_callbacks_peer.h).
add_executable(shell_tests ${CMAKE_CURRENT_LIST_DIR}/shell_test.cpp)
syssrv_target(shell_tests)
target_link_libraries(shell_tests PRIVATE cfg_test_fixture multicodec_util GTest::gtest_main Threads::Threads)
gtest_discover_tests(shell_tests PROPERTIES LABELS daemon)
