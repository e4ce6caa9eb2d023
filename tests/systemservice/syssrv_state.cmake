# Message-layer state at start, the remote-key table, and the placeholders
# of the modules still to come.
add_executable(syssrv_state_tests ${CMAKE_CURRENT_LIST_DIR}/test_syssrv_state.cpp)
syssrv_target(syssrv_state_tests)
target_link_libraries(syssrv_state_tests PRIVATE syssrvpending syssrvstate sysio oslib GTest::gtest_main)
gtest_discover_tests(syssrv_state_tests PROPERTIES LABELS daemon)
