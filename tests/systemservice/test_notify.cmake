# Configuration change dispatcher: every row group against a fake
# configuration service on the real message layer, the seam's recorder and
# the call trace of the modules it routes to.
set(_notify_dir ${CMAKE_CURRENT_LIST_DIR})
add_executable(notify_tests
  ${_notify_dir}/test_notify_fixture.cpp
  ${_notify_dir}/test_notify_rows.cpp
  ${_notify_dir}/test_notify_actions.cpp
  ${_notify_dir}/test_notify_language.cpp)
syssrv_target(notify_tests)
target_link_libraries(notify_tests PRIVATE daemon_test_fakes syssrvnotify GTest::gtest_main)
# The language reset waits up to 5 s per unanswered exchange.
gtest_discover_tests(notify_tests PROPERTIES LABELS daemon TIMEOUT 120)
