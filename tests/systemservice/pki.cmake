# Certificate requests on the daemon tests' fixture (a fake "ConfigSrvc"
# thread and the recorder seam).
add_executable(pki_tests ${CMAKE_CURRENT_LIST_DIR}/pki_test.cpp)
syssrv_target(pki_tests)
target_link_libraries(pki_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
gtest_discover_tests(pki_tests PROPERTIES LABELS daemon)
