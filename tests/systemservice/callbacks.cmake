# The daemon's modules against a fake "ConfigSrvc" thread on the real
# message layer, on one fixture (test_callbacks_peer.h): callbacks, the
# access-level policy, start-up, the change dispatcher, entry, main loop,
# message layer and LAN.
add_library(cfg_test_fixture STATIC ${CMAKE_CURRENT_LIST_DIR}/test_callbacks_peer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/daemon_state.cpp)
syssrv_target(cfg_test_fixture)
target_link_libraries(cfg_test_fixture PUBLIC daemon_test_fakes syssrvcore multicodec_util sysio oslib GTest::gtest)

file(GLOB _daemon_test_sources CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/test_callbacks_[a-oq-z]*.cpp ${CMAKE_CURRENT_LIST_DIR}/test_access_*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_startup_*.cpp ${CMAKE_CURRENT_LIST_DIR}/test_notify_*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_main*.cpp ${CMAKE_CURRENT_LIST_DIR}/test_lan*.cpp)
add_executable(daemon_tests ${_daemon_test_sources})
syssrv_target(daemon_tests)
target_link_libraries(daemon_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
# The language reset waits up to 5 s per unanswered exchange.
gtest_discover_tests(daemon_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120 LABELS daemon)
