# The network services on the daemon tests' fixture (a fake "ConfigSrvc"
# thread and the recorder seam).
add_executable(net_dhcp_tests ${CMAKE_CURRENT_LIST_DIR}/net_dhcp_test.cpp)
syssrv_target(net_dhcp_tests)
target_link_libraries(net_dhcp_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
gtest_discover_tests(net_dhcp_tests PROPERTIES LABELS daemon)
