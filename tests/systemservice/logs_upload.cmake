# Log upload, support packages and the camera's support data on the daemon
# tests' fixture (a fake "ConfigSrvc" thread and the recorder seam).
add_executable(logs_upload_tests ${CMAKE_CURRENT_LIST_DIR}/logs_upload_test.cpp)
syssrv_target(logs_upload_tests)
target_link_libraries(logs_upload_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
gtest_discover_tests(logs_upload_tests PROPERTIES LABELS daemon)
