// Log facility: formats every diagnostic line of the process and writes it to
// the log device "/dev/crvllog", with standard output as the fallback.
#pragma once

#include <cstdarg>
#include <cstddef>

#define LOG_LEVEL_CRIT 2
#define LOG_LEVEL_ERR 3
#define LOG_LEVEL_WARN 4
#define LOG_LEVEL_INFO 6
#define LOG_LEVEL_DEBUG 7
// A line passed on unchanged, without prefix.
#define LOG_LEVEL_REMOTE 101

#define LOGMSG_LINE_MAX 2048
#define LOGMSG_MAX_FILTERS 10
#define LOGMSG_FILTER_LEN 370

extern "C" {
int logmsg_init(int processorNum, const char* pAppName);
void logmsg_shutdown();

int va_logmsg(va_list ap, int level, const char* component, const char* fmt);
int logmsg(int level, const char* component, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
int logcrit(const char* component, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int logerr(const char* component, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int logwarn(const char* component, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int loginfo(const char* component, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int logdebug(const char* component, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int os_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
int logmsg_remote(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

int logmsg_showfilter_add(const char* text);
int logmsg_cullfilter_add(const char* text);
int logmsg_showfilter_delete(const char* text);
int logmsg_cullfilter_delete(const char* text);
const char* logmsg_showfilter_get(int index);
const char* logmsg_cullfilter_get(int index);
int logmsg_showfilter_dump();
int logmsg_cullfilter_dump();
int logmsg_max_filters();

int logmsg_set_syslog_echo(int on);
int logmsg_get_syslog_echo();
int logmsg_set_spewfilter(int v);
int logmsg_get_spewfilter();
int logmsg_set_format(int v);
int logmsg_get_format();
const char* logmsg_get_appname();

char* getAppName(char* buf, size_t size);
void android_final_print(const char* msg, int len);
}
