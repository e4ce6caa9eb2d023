# Values on their way into command lines, files and logs; the process
# utilities against real children and /proc, and against the recorder.
add_executable(quote_process_tests ${CMAKE_CURRENT_LIST_DIR}/quote_test.cpp ${CMAKE_CURRENT_LIST_DIR}/process_test.cpp)
syssrv_target(quote_process_tests)
target_link_libraries(quote_process_tests PRIVATE syssrvbase sysio oslib os_test_util GTest::gtest_main Threads::Threads)
gtest_discover_tests(quote_process_tests PROPERTIES LABELS daemon)
