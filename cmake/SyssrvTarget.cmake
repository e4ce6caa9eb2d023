# What the target of this build can do, for the parts of the tree that
# depend on it. Include after project().
#
# SYSSRV_HAVE_TSAN: ThreadSanitizer builds and runs here. Targets or test
# variants built with -fsanitize=thread must be guarded by it: the
# sanitizer has no runtime for 32-bit ARM, and a cross build could not run
# its programs natively anyway, so a cross build has it OFF.

include_guard(GLOBAL)

if(NOT DEFINED SYSSRV_HAVE_TSAN)
  if(CMAKE_CROSSCOMPILING)
    set(_tsan OFF)
  else()
    include(CheckCXXSourceCompiles)
    set(CMAKE_REQUIRED_FLAGS -fsanitize=thread)
    set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=thread)
    check_cxx_source_compiles("int main() { return 0; }" SYSSRV_TSAN_LINKS)
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    set(_tsan ${SYSSRV_TSAN_LINKS})
  endif()
  set(SYSSRV_HAVE_TSAN ${_tsan} CACHE BOOL "ThreadSanitizer usable on this target")
endif()
