// The service's one database file (SQLite).
//
// Tables: vars (attributes of a variable), lists (its values per instance,
// default values, options and the options it was created with), state (the
// is-default flag per instance), registrations (callbacks per client name)
// and components (attached components, in attach order).
//
// Durability: WAL journal, and every change is its own transaction,
// committed before the caller answers anyone, so a kill -9 after an answer
// never loses what the answer reported. A change of values or options is
// also synced to the disk before it returns (synchronous=FULL), and with it
// everything committed before it. Registrations, access levels and
// components are committed without that wait (synchronous=NORMAL): their
// clients send them again at every start of their own, so what only a
// power cut can take of them is given back by the clients' next start.
// sync() takes them to the disk too, when the service has time for it.
#pragma once

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/configsrvc/cfgVar.h"

struct sqlite3;
struct sqlite3_stmt;

// One callback registration.
struct CfgReg {
  std::string client;  // the client's endpoint name
  std::string name;    // canonical variable name
  int instance = 0;    // 0: every instance
  int type = 0;        // ConfigIF.CallbackType
  std::string userContext;
};

class CfgStore {
 public:
  CfgStore() = default;
  ~CfgStore();
  CfgStore(const CfgStore&) = delete;
  CfgStore& operator=(const CfgStore&) = delete;

  // Opens (creates) the database and its tables. false with `err` set when
  // the file cannot be used.
  bool open(const std::string& path, std::string* err);
  void close();

  // Everything stored, variables keyed by cfgKey(name).
  bool loadAll(std::map<std::string, CfgVar>* vars, std::vector<CfgReg>* regs, std::vector<std::string>* components,
               std::string* err);

  // Writes a whole variable (attributes, lists, state), replacing what was
  // stored under its name.
  bool saveVar(const CfgVar& v);
  // Several new variables in one transaction (seeding a new database).
  bool saveVars(const std::vector<const CfgVar*>& vars);
  // The values and is-default flag of one instance.
  bool saveInstance(const CfgVar& v, int instance);
  // Levels only.
  bool saveLevels(const CfgVar& v);

  bool addReg(const CfgReg& r);
  bool removeReg(const CfgReg& r);  // by client, name, instance, type
  bool removeClientRegs(const std::string& client);

  bool addComponent(const std::string& name);  // after the last one
  bool removeComponent(const std::string& name);

  // Milliseconds since the first commit not synced to the disk yet; -1
  // when everything committed is on the disk.
  int unsyncedMs() const;
  // Syncs what was committed; false with lastError() when that failed
  // (it is tried again after the next commit).
  bool sync();

  // Checks the database file at `path` without changing it: the journal
  // mode it keeps and SQLite's integrity check. `report` gets one line per
  // finding ("journal_mode wal", then "ok" or the problems found); true
  // only when the check says "ok".
  static bool check(const std::string& path, std::string* report);

  // Text of the last failure, for the log.
  const std::string& lastError() const { return m_error; }
  // The last failure was a full disk (or file system): the writer is told
  // it is out of resources, not that something went wrong somehow.
  bool lastWasFull() const { return m_full; }

 private:
  bool exec(const char* sql);
  // The statement `sql` (a literal), prepared on its first use and kept
  // while the database is open; null when it does not prepare.
  sqlite3_stmt* kept(const char* sql);
  bool run(const char* sql);
  bool syncFull(bool full);
  bool durable();
  bool light();
  // `ran` of a light commit, taking the connection's error when false.
  bool committedLight(bool ran);
  // Takes the connection's last error as this store's.
  void failed();
  bool writeVar(const CfgVar& v);
  bool writeInstance(const CfgVar& v, int instance);
  bool begin();
  bool commit();
  void rollback();

  struct LessSql {
    bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
  };
  sqlite3* m_db = nullptr;
  std::map<const char*, sqlite3_stmt*, LessSql> m_stmts;
  bool m_syncFull = true;  // the connection's synchronous setting
  bool m_unsynced = false;
  std::chrono::steady_clock::time_point m_unsyncedSince;
  std::string m_error;
  bool m_full = false;
};
