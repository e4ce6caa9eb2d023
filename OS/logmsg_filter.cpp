// Substring filters of the log facility. Show filters keep only the lines
// that contain one of their texts; cull filters then drop the lines that
// contain one of theirs. Both tables are changed only from the debug console
// commands and read, unlocked, by every logging thread.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "OS/logmsg.h"
#include "OS/logmsg_internal.h"
#include "OS/oslinux.h"

namespace {

struct FilterTable {
  const char* kind;  // "show" or "cull", as printed
  char entries[LOGMSG_MAX_FILTERS][LOGMSG_FILTER_LEN];
  int count;
};

FilterTable gShowFilters = {"show", {}, 0};
FilterTable gCullFilters = {"cull", {}, 0};

int filter_add(FilterTable* t, const char* text) {
  if (text == nullptr) return -1;
  // An empty text leaves its entry free but still counts: with an empty
  // show filter alone, no line is shown.
  for (auto& e : t->entries) {
    if (e[0] == '\0') {
      strlcpy(e, text, sizeof e);
      t->count++;
      return 0;
    }
  }
  fprintf(stdout, "\"%s\" %s filter not added, table full\n", text, t->kind);
  return -1;
}

int filter_delete(FilterTable* t, const char* text) {
  if (text == nullptr) return 0;
  if (strcasecmp(text, "*") == 0) {
    for (auto& e : t->entries) e[0] = '\0';
    t->count = 0;
    return 0;
  }
  // Compare with the text as it was stored, so that whatever was added can
  // be deleted with the same words.
  char key[LOGMSG_FILTER_LEN];
  strlcpy(key, text, sizeof key);
  for (auto& e : t->entries) {
    if (strcasecmp(e, key) == 0) {
      e[0] = '\0';
      // An empty text matches a free entry; kept at 0 so a later filter still counts.
      if (t->count > 0) t->count--;
      return 0;
    }
  }
  fprintf(stdout, "\"%s\" %s filter not found\n", text, t->kind);
  return 0;
}

const char* filter_get(const FilterTable& t, int index) {
  if (index < 0 || index >= LOGMSG_MAX_FILTERS) return "";
  return t.entries[index];
}

int filter_dump(const FilterTable& t) {
  fprintf(stdout, "%s filters:\n", t.kind);
  for (const auto& e : t.entries) {
    if (e[0] != '\0') fprintf(stdout, "  \"%s\"\n", e);
  }
  return 0;
}

bool any_entry_in(const FilterTable& t, const char* line) {
  for (const auto& e : t.entries) {
    if (e[0] != '\0' && strstr(line, e) != nullptr) return true;
  }
  return false;
}

}  // namespace

bool logmsg_filter_drops(const char* line) {
  if (gShowFilters.count > 0 && !any_entry_in(gShowFilters, line)) return true;
  if (gCullFilters.count > 0 && any_entry_in(gCullFilters, line)) return true;
  return false;
}

void logmsg_filter_clear_all() {
  logmsg_showfilter_delete("*");
  logmsg_cullfilter_delete("*");
}

extern "C" {
int logmsg_showfilter_add(const char* text) { return filter_add(&gShowFilters, text); }
int logmsg_cullfilter_add(const char* text) { return filter_add(&gCullFilters, text); }
int logmsg_showfilter_delete(const char* text) { return filter_delete(&gShowFilters, text); }
int logmsg_cullfilter_delete(const char* text) { return filter_delete(&gCullFilters, text); }
const char* logmsg_showfilter_get(int index) { return filter_get(gShowFilters, index); }
const char* logmsg_cullfilter_get(int index) { return filter_get(gCullFilters, index); }
int logmsg_showfilter_dump() { return filter_dump(gShowFilters); }
int logmsg_cullfilter_dump() { return filter_dump(gCullFilters); }
int logmsg_max_filters() { return LOGMSG_MAX_FILTERS; }
}
