#include "platform/sysio/sysio_paths.h"

#include <vector>

std::string sysio_map_under_root(const std::string& root, const std::string& abs) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= abs.size()) {
    size_t j = abs.find('/', i);
    if (j == std::string::npos) j = abs.size();
    std::string part = abs.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out = root;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  for (const std::string& p : parts) out += "/" + p;
  // A trailing slash means "the directory"; keep it for callers that care.
  if (!abs.empty() && abs.back() == '/' && !parts.empty()) out += "/";
  if (parts.empty() && out.empty()) out = "/";
  return out;
}
