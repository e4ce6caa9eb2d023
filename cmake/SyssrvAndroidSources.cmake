# Writes what the device build of Android.bp must agree with: the daemon and
# every library of this tree that it links, as this build has them, into
# android-sources.txt in the build folder. tests/packaging compares it with
# Android.bp, so that a file added to one build and forgotten in the other
# fails a test instead of the device build.
#
# One line per target, fields separated by tabs, lists by blanks:
#   name  type  sources  options  libraries
# sources: compiled files relative to the top of the tree; protoc output is
#   named by the .proto it comes from (Soong runs protoc itself);
# options: the compile options that decide what the compiler accepts or
#   emits (warnings, builtins); sanitizer and debug options are variants of
#   this build, not of the device's, and are left out;
# libraries: the targets of this tree linked directly.
#
# Include after every target of the daemon exists.
include_guard(GLOBAL)

function(syssrv_android_sources_export root out)
  if(NOT TARGET ${root})
    return()
  endif()
  set(seen)
  set(todo ${root})
  set(lines)
  while(todo)
    list(POP_FRONT todo tgt)
    if(tgt IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${tgt})
    get_target_property(type ${tgt} TYPE)
    get_target_property(dir ${tgt} SOURCE_DIR)
    get_target_property(srcs ${tgt} SOURCES)
    get_target_property(opts ${tgt} COMPILE_OPTIONS)
    get_target_property(libs ${tgt} LINK_LIBRARIES)
    set(files)
    foreach(src IN LISTS srcs)
      cmake_path(ABSOLUTE_PATH src BASE_DIRECTORY ${dir})
      if(src MATCHES "\\.pb\\.cc$")
        cmake_path(GET src FILENAME name)
        string(REGEX REPLACE "\\.pb\\.cc$" ".proto" name "${name}")
        set(src ${dir}/${name})
      elseif(NOT src MATCHES "\\.(c|cc|cpp)$")
        continue()
      endif()
      file(RELATIVE_PATH src ${PROJECT_SOURCE_DIR} ${src})
      list(APPEND files ${src})
    endforeach()
    set(kept)
    foreach(opt IN LISTS opts)
      if(opt MATCHES "^-W|^-fno-builtin")
        list(APPEND kept ${opt})
      endif()
    endforeach()
    set(ours)
    foreach(lib IN LISTS libs)
      if(TARGET ${lib})
        get_target_property(imported ${lib} IMPORTED)
        if(NOT imported)
          list(APPEND ours ${lib})
          list(APPEND todo ${lib})
        endif()
      endif()
    endforeach()
    list(JOIN files " " files)
    list(REMOVE_DUPLICATES kept)
    list(JOIN kept " " kept)
    list(JOIN ours " " ours)
    string(APPEND lines "${tgt}\t${type}\t${files}\t${kept}\t${ours}\n")
  endwhile()
  file(GENERATE OUTPUT ${out} CONTENT "${lines}")
endfunction()

syssrv_android_sources_export(syssrv ${PROJECT_BINARY_DIR}/android-sources.txt)
