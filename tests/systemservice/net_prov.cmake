# Provisioning discovery against the fake configuration service and the DNS
# stand-in's own service loop with a scripted resolver; the reachability
# test against real listeners on 127.0.0.1.
add_executable(net_prov_tests ${CMAKE_CURRENT_LIST_DIR}/net_prov_test.cpp)
syssrv_target(net_prov_tests)
target_link_libraries(net_prov_tests PRIVATE cfg_test_fixture syssrvnet dnssrvc_lib GTest::gtest_main
  Threads::Threads)
gtest_discover_tests(net_prov_tests DISCOVERY_TIMEOUT 30 PROPERTIES LABELS daemon)
