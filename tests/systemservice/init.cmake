# Initialisation of the message layer: every step of syssrvMessageInit in
# its order, its early returns, and the links to peers that appear later,
# on the start-up fixture's recording configuration service.

# A peer in a process of its own: holds an endpoint, or publishes as the
# modular-room manager does.
add_executable(init_test_peer ${CMAKE_CURRENT_LIST_DIR}/test_init_peer.cpp)
syssrv_target(init_test_peer)
target_link_libraries(init_test_peer PRIVATE msgutil msglib protos)

add_executable(init_tests
  ${CMAKE_CURRENT_LIST_DIR}/test_startup_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_init_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_init_timeline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_init_order.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_init_peers.cpp)
syssrv_target(init_tests)
target_link_libraries(init_tests PRIVATE daemon_test_fakes syssrvall GTest::gtest_main Threads::Threads)
target_compile_definitions(init_tests PRIVATE INIT_PEER_BIN="$<TARGET_FILE:init_test_peer>")
add_dependencies(init_tests init_test_peer)

# Every call syssrvMessageInit makes into the message library and into its
# neighbour modules passes through test_init_timeline.cpp, which records it
# and calls the real function. These are C++ functions: the linker knows
# them by their mangled names.
set(_init_wrapped
  _Z16MSG_DebugSetNamePKc
  _Z13MSG_OpenLocalPKc
  _Z18MSG_OpenRemoteSyncPKcS0_iPj
  _Z19MSG_OpenRemoteAsyncPKcS0_PK12MSG_Callbacki
  _Z20MSG_RegisterCallbackPKcPK12MSG_Callback
  _Z30MSG_RegisterNotificationRemotePKcjjj
  _Z11MSG_SendMsgPKcjP11MSG_Message
  _Z16syssrvCfgMsgInitPKc
  _Z19provisioningMsgInitPKc
  _Z25initVirtualKeyPressDevicev
  _Z29syssrvRegisterConfigCallbacksv
  _Z19syssrvStartupConfigv
  _Z35registerProcessMonitorNotificationsv
  _Z41register_for_portcontroller_notificationsPvPK11MSG_Message
  _Z19handle_procmon_openPvPK11MSG_Message)
foreach(_sym ${_init_wrapped})
  target_link_options(init_tests PRIVATE "LINKER:--wrap=${_sym}")
endforeach()

# The peers come and go in a few seconds; the limit is for a loaded machine.
gtest_discover_tests(init_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120 LABELS daemon)
