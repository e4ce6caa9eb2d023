// setprop NAME VALUE: sets a property in the host's file-backed store
// ($SYSSRV_PROP_DIR, else $SYSSRV_ROOT/data/property, else /data/property).
#include <cstdio>

#include "platform/props/props.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: setprop NAME VALUE\n");
    return 1;
  }
  if (props_set(props_env_dir(), argv[1], argv[2]) != 0) {
    std::fprintf(stderr, "setprop: failed to set property '%s' to '%s'\n", argv[1], argv[2]);
    return 1;
  }
  return 0;
}
