# Hardware identity and capability table.
add_executable(caps_tests test_hwtype.cpp test_caps.cpp)
syssrv_target(caps_tests)
target_link_libraries(caps_tests PRIVATE syssystem GTest::gtest_main)
gtest_discover_tests(caps_tests)
