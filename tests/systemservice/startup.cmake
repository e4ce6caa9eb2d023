# Start-up configuration: registrations, identity, model-specific settings
# and the start-up steps against the fake configuration service.
file(GLOB _startup_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_startup_*.cpp)
add_executable(startup_tests ${_startup_test_sources})
syssrv_target(startup_tests)
target_link_libraries(startup_tests PRIVATE syssrvcore cfg_test_fixture
  daemon_test_fakes syssystem cfgcommon multicodec_util msgutil msglib protos psosapi timerutil sysio oslib GTest::gtest_main)
gtest_discover_tests(startup_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120 LABELS daemon)
