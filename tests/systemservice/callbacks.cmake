# Configuration service callbacks and the access-level policy, against a
# fake "ConfigSrvc" thread on the real message layer, and a few checks
# against the configsrvc stand-in with the repository seed.
file(GLOB _callbacks_test_sources CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/test_callbacks_*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_access_*.cpp)
add_executable(callbacks_tests ${_callbacks_test_sources})
syssrv_target(callbacks_tests)
target_link_libraries(callbacks_tests PRIVATE daemon_test_fakes syssrvcallbacks msgutil msglib
  sysio oslib GTest::gtest_main Threads::Threads)
target_compile_definitions(callbacks_tests PRIVATE
  CONFIGSRVC_BIN="$<TARGET_FILE:configsrvc>"
  CONFIGSRVC_SEED="${PROJECT_SOURCE_DIR}/tools/configsrvc/seed/config_seed.txt")
add_dependencies(callbacks_tests configsrvc)
gtest_discover_tests(callbacks_tests PROPERTIES LABELS daemon)
