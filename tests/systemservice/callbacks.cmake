# Configuration service callbacks, the access-level policy and start-up,
# against a fake "ConfigSrvc" thread on the real message layer; one fixture.
add_library(cfg_test_fixture STATIC ${CMAKE_CURRENT_LIST_DIR}/test_callbacks_peer.cpp)
syssrv_target(cfg_test_fixture)
target_link_libraries(cfg_test_fixture PUBLIC daemon_test_fakes syssrvcallbacks multicodec_util sysio oslib
  GTest::gtest)

file(GLOB _callbacks_test_sources CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/test_callbacks_[a-oq-z]*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_access_*.cpp)
add_executable(callbacks_tests ${_callbacks_test_sources})
syssrv_target(callbacks_tests)
target_link_libraries(callbacks_tests PRIVATE cfg_test_fixture syssrvcallbacks msgutil msglib
  sysio oslib GTest::gtest_main Threads::Threads)
gtest_discover_tests(callbacks_tests PROPERTIES LABELS daemon)
