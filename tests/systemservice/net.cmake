# The network services against the fake "ConfigSrvc" thread and the
# recorder seam.
add_executable(net_dhcp_tests ${CMAKE_CURRENT_LIST_DIR}/net_dhcp_test.cpp)
syssrv_target(net_dhcp_tests)
target_link_libraries(net_dhcp_tests PRIVATE syssrvnet daemon_test_fakes GTest::gtest_main Threads::Threads)
gtest_discover_tests(net_dhcp_tests PROPERTIES LABELS daemon)
