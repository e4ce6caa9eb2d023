// getprop [NAME [DEFAULT]]: reads the host's file-backed property store
// ($SYSSRV_PROP_DIR, else $SYSSRV_ROOT/data/property, else /data/property).
// Without a name every property is listed as "[name]: [value]", sorted;
// with a name its value is printed, or DEFAULT (or nothing) when it is
// unset or empty.
#include <cstdio>

#include "platform/props/props.h"

int main(int argc, char** argv) {
  const std::string dir = props_env_dir();
  if (argc == 1) {
    std::vector<std::pair<std::string, std::string>> all;
    if (!props_list(dir, &all)) {
      std::fprintf(stderr, "getprop: cannot read %s\n", dir.c_str());
      return 1;
    }
    for (const auto& kv : all) std::printf("[%s]: [%s]\n", kv.first.c_str(), kv.second.c_str());
    return 0;
  }
  if (argc > 3) {
    std::fprintf(stderr, "usage: getprop [NAME [DEFAULT]]\n");
    return 1;
  }
  char value[PROP_VALUE_MAX];
  int n = props_get(dir, argv[1], value);
  std::printf("%s\n", n > 0 ? value : (argc == 3 ? argv[2] : ""));
  return 0;
}
