# Start-up configuration: registrations, identity, model-specific settings
# and the start-up steps against a recording configuration service, and the
# registrations and identity against the configuration service itself.
add_executable(startup_tests
  ${CMAKE_CURRENT_LIST_DIR}/test_startup_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_startup_register.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_startup_identity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_startup_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_startup_steps.cpp)
syssrv_target(startup_tests)
target_link_libraries(startup_tests PRIVATE
  syssrvcore
  daemon_test_fakes syssystem cfgcommon multicodec_util msgutil msglib protos psosapi timerutil sysio oslib GTest::gtest_main)
gtest_discover_tests(startup_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120 LABELS daemon)

# The registrations and the identity against the configuration service.
if(TARGET configsrvc)
  add_executable(startup_live_tests ${CMAKE_CURRENT_LIST_DIR}/test_startup_live.cpp)
  syssrv_target(startup_live_tests)
  target_link_libraries(startup_live_tests PRIVATE
    syssrvcore
    syssystem cfgcommon multicodec_util msgutil msglib protos psosapi timerutil sysio oslib SQLite::SQLite3
    GTest::gtest_main)
  add_dependencies(startup_live_tests configsrvc)
  target_compile_definitions(startup_live_tests PRIVATE
    CONFIGSRVC="$<TARGET_FILE:configsrvc>"
    CONFIGSRVC_SEED_FILE="${CONFIGSRVC_SEED}")
  gtest_discover_tests(startup_live_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120 LABELS daemon)
endif()
