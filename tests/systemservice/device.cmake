# LEDs and front panel; temperatures, thermal switch, key presses, CDR
# commands and reboot, on the daemon fixture. Driver files are real files
# under the recorder's root; the key events are input_event records as this
# build's kernel headers lay them out (16 bytes on the 32-bit board).
add_executable(device_tests ${CMAKE_CURRENT_LIST_DIR}/device_test.cpp)
syssrv_target(device_tests)
target_link_libraries(device_tests PRIVATE cfg_test_fixture GTest::gtest_main Threads::Threads)
gtest_discover_tests(device_tests PROPERTIES LABELS daemon)
