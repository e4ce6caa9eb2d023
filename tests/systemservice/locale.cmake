# Time zone, time format and locale on the daemon fixture; the tables
# against the option lists of the configuration seed.
add_executable(locale_tests ${CMAKE_CURRENT_LIST_DIR}/locale_test.cpp)
syssrv_target(locale_tests)
target_link_libraries(locale_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
target_compile_definitions(locale_tests PRIVATE LOCALE_TEST_SEED="${CONFIGSRVC_SEED}")
gtest_discover_tests(locale_tests PROPERTIES LABELS daemon)
