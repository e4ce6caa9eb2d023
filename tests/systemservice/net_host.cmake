# Host name, IR channel, proxy delegate, beacon and web proxy handling, on the
# daemon fixture (test_callbacks_peer.h).
add_executable(net_host_tests ${CMAKE_CURRENT_LIST_DIR}/net_host_test.cpp)
syssrv_target(net_host_tests)
target_link_libraries(net_host_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
gtest_discover_tests(net_host_tests PROPERTIES LABELS daemon)
