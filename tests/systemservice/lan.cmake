# LAN module: the carrier poll and link actions, the restarts, the LAN
# status request and the IPv6 variables, against the callback tests' fake
# "ConfigSrvc", a recorder whose root holds the sysfs and /proc files, and a
# subscriber of the LAN notifications.
add_executable(lan_tests
  ${CMAKE_CURRENT_LIST_DIR}/test_lan_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_lan_carrier.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_lan_status.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_lan_actions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_lan_ipv6.cpp)
syssrv_target(lan_tests)
target_link_libraries(lan_tests PRIVATE cfg_test_fixture syssrvcallbacks syssrvlan daemon_test_fakes msgutil msglib protos sysio oslib
  GTest::gtest_main Threads::Threads)
gtest_discover_tests(lan_tests PROPERTIES LABELS daemon)
