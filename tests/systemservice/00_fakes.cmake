# Test doubles shared by the daemon's test programs: the fake configuration
# service. The folder
# includes its *.cmake files in name order: this one comes first, so that the
# groups after it can link the library.
add_library(daemon_test_fakes STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fake_configsrvc.cpp)
syssrv_target(daemon_test_fakes)
target_link_libraries(daemon_test_fakes PUBLIC msgutil msglib protos sysio oslib)
