#include "tools/configsrvc/cfgStore.h"

#include <sqlite3.h>

#include "tools/configsrvc/cfgLog.h"

namespace {

// Kinds of rows in `lists`.
enum ListKind { kListValue = 0, kListDefault = 1, kListOption = 2, kListSeedOption = 3 };

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS vars("
    " name TEXT PRIMARY KEY COLLATE NOCASE, instances INTEGER NOT NULL,"
    " read_level INTEGER NOT NULL, write_level INTEGER NOT NULL, multi INTEGER NOT NULL,"
    " options_fixed INTEGER NOT NULL, default_index INTEGER NOT NULL, seed_default_index INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS lists("
    " name TEXT NOT NULL COLLATE NOCASE, kind INTEGER NOT NULL, instance INTEGER NOT NULL,"
    " idx INTEGER NOT NULL, text TEXT NOT NULL, PRIMARY KEY(name, kind, instance, idx));"
    "CREATE TABLE IF NOT EXISTS state("
    " name TEXT NOT NULL COLLATE NOCASE, instance INTEGER NOT NULL, is_default INTEGER NOT NULL,"
    " PRIMARY KEY(name, instance));"
    "CREATE TABLE IF NOT EXISTS registrations("
    " client TEXT NOT NULL, name TEXT NOT NULL COLLATE NOCASE, instance INTEGER NOT NULL,"
    " type INTEGER NOT NULL, user_context TEXT NOT NULL, PRIMARY KEY(client, name, instance, type));"
    "CREATE TABLE IF NOT EXISTS components(name TEXT PRIMARY KEY, attach_order INTEGER NOT NULL);";

// One prepared statement. Prepared for one use it is finalised on scope
// exit; taken from the store's cache it is only reset, for its next use. A
// statement that does not prepare (a database file whose tables are not the
// ones above) is logged and sets `error`; every use of it then fails rather
// than acting on a null statement.
sqlite3_stmt* prepare(sqlite3* db, const char* sql, std::string* error) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && s != nullptr) return s;
  *error = std::string("cannot prepare \"") + sql + "\": " + sqlite3_errmsg(db);
  cfgLog("database: %s", error->c_str());
  sqlite3_finalize(s);
  return nullptr;
}

class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql, std::string* error) : m_s(prepare(db, sql, error)), m_owned(true) {}
  explicit Stmt(sqlite3_stmt* kept) : m_s(kept), m_owned(false) {}
  ~Stmt() {
    if (m_owned) {
      sqlite3_finalize(m_s);
    } else if (m_s) {
      sqlite3_reset(m_s);
      sqlite3_clear_bindings(m_s);
    }
  }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return m_s != nullptr; }
  Stmt& bind(int i, const std::string& s) {
    if (m_s) sqlite3_bind_text(m_s, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& bind(int i, long long v) {
    if (m_s) sqlite3_bind_int64(m_s, i, v);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int step() { return m_s ? sqlite3_step(m_s) : SQLITE_MISUSE; }
  bool run() {
    if (!m_s) return false;
    int rc = sqlite3_step(m_s);
    sqlite3_reset(m_s);
    sqlite3_clear_bindings(m_s);
    return rc == SQLITE_DONE;
  }
  // Calls row() for every result row; false unless all were read.
  template <class Row>
  bool each(Row row) {
    int rc;
    while ((rc = step()) == SQLITE_ROW) row(*this);
    return rc == SQLITE_DONE;
  }
  long long num(int col) const { return sqlite3_column_int64(m_s, col); }
  std::string text(int col) const {
    const unsigned char* t = sqlite3_column_text(m_s, col);
    int n = sqlite3_column_bytes(m_s, col);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(n)) : std::string();
  }

 private:
  sqlite3_stmt* m_s = nullptr;
  bool m_owned;
};

bool insertList(sqlite3_stmt* kept, const std::string& name, int kind, int instance,
                const std::vector<std::string>& list) {
  Stmt ins(kept);
  if (!ins.ok()) return false;
  for (size_t i = 0; i < list.size(); ++i) {
    ins.bind(1, name).bind(2, kind).bind(3, instance).bind(4, static_cast<long long>(i)).bind(5, list[i]);
    if (!ins.run()) return false;
  }
  return true;
}

// Shared by several writes (each statement is prepared once per connection).
const char* const kInsertList = "INSERT INTO lists(name, kind, instance, idx, text) VALUES(?,?,?,?,?)";

}  // namespace

CfgStore::~CfgStore() { close(); }

void CfgStore::close() {
  for (auto& kv : m_stmts) sqlite3_finalize(kv.second);
  m_stmts.clear();
  if (m_db != nullptr) sqlite3_close(m_db);
  m_db = nullptr;
  m_syncFull = true;
  m_unsynced = false;  // closing the last connection checkpoints the log
}

sqlite3_stmt* CfgStore::kept(const char* sql) {
  auto it = m_stmts.find(sql);
  if (it != m_stmts.end()) return it->second;
  sqlite3_stmt* s = prepare(m_db, sql, &m_error);
  if (s != nullptr) m_stmts[sql] = s;
  return s;
}

bool CfgStore::run(const char* sql) {
  if (Stmt(kept(sql)).run()) return true;
  failed();
  return false;
}

// In WAL mode a commit with synchronous=FULL syncs the log, and with it
// every commit before it; with NORMAL the commit is in the log (and so
// outlives a kill of this process) but reaches the disk with the next
// synced commit or checkpoint.
bool CfgStore::syncFull(bool full) {
  if (m_syncFull == full) return true;
  if (!run(full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL")) return false;
  m_syncFull = full;
  return true;
}

bool CfgStore::exec(const char* sql) {
  char* msg = nullptr;
  if (sqlite3_exec(m_db, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
  failed();
  if (msg != nullptr) m_error = msg;
  sqlite3_free(msg);
  return false;
}

void CfgStore::failed() {
  m_error = sqlite3_errmsg(m_db);
  m_full = sqlite3_errcode(m_db) == SQLITE_FULL;
}

bool CfgStore::open(const std::string& path, std::string* err) {
  close();
  if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    *err = path + ": " + (m_db ? sqlite3_errmsg(m_db) : "cannot open");
    close();
    return false;
  }
  // Another process holding the file (a second service by mistake) gets a
  // clear error after a while instead of an instant SQLITE_BUSY.
  sqlite3_busy_timeout(m_db, 2000);
  if (!exec("PRAGMA journal_mode=WAL;") || !exec("PRAGMA synchronous=FULL;") || !exec(kSchema)) {
    *err = path + ": " + m_error;
    close();
    return false;
  }
  return true;
}

bool CfgStore::check(const std::string& path, std::string* report) {
  sqlite3* db = nullptr;
  report->clear();
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    *report = path + ": " + (db ? sqlite3_errmsg(db) : "cannot open") + "\n";
    sqlite3_close(db);
    return false;
  }
  sqlite3_busy_timeout(db, 2000);
  std::string error;
  bool ok = false;
  {
    Stmt mode(db, "PRAGMA journal_mode", &error);
    mode.each([&](Stmt& q) { *report += "journal_mode " + q.text(0) + "\n"; });
    Stmt integrity(db, "PRAGMA integrity_check", &error);
    std::vector<std::string> found;
    bool read = integrity.each([&](Stmt& q) { found.push_back(q.text(0)); });
    ok = read && found.size() == 1 && found[0] == "ok";
    if (!read) found.push_back(std::string("cannot check: ") + sqlite3_errmsg(db));
    for (const std::string& f : found) *report += f + "\n";
  }
  sqlite3_close(db);
  return ok;
}

bool CfgStore::begin() { return run("BEGIN IMMEDIATE"); }
bool CfgStore::commit() {
  if (run("COMMIT")) {
    // A synced commit takes every commit before it to the disk.
    if (m_syncFull) m_unsynced = false;
    return true;
  }
  // A full disk may leave the transaction open; the next one must not
  // carry its half along.
  if (sqlite3_get_autocommit(m_db) == 0) rollback();
  return false;
}
void CfgStore::rollback() {
  std::string keep = m_error;
  const bool full = m_full;
  run("ROLLBACK");
  m_error = keep;
  m_full = full;
}

bool CfgStore::loadAll(std::map<std::string, CfgVar>* vars, std::vector<CfgReg>* regs,
                       std::vector<std::string>* components, std::string* err) {
  vars->clear();
  regs->clear();
  components->clear();
  Stmt v(m_db,
         "SELECT name, instances, read_level, write_level, multi, options_fixed, default_index, seed_default_index "
         "FROM vars",
         &m_error);
  Stmt l(m_db, "SELECT name, kind, instance, text FROM lists ORDER BY name, kind, instance, idx", &m_error);
  Stmt s(m_db, "SELECT name, instance, is_default FROM state", &m_error);
  Stmt r(m_db, "SELECT client, name, instance, type, user_context FROM registrations ORDER BY rowid", &m_error);
  Stmt c(m_db, "SELECT name FROM components ORDER BY attach_order", &m_error);
  if (!v.ok() || !l.ok() || !s.ok() || !r.ok() || !c.ok()) {
    *err = m_error;
    return false;
  }
  bool read = v.each([&](Stmt& q) {
    CfgVar var;
    var.name = q.text(0);
    long long n = q.num(1);
    var.inst.resize(n < 1 ? 1 : static_cast<size_t>(n));
    var.readLevel = static_cast<int>(q.num(2));
    var.writeLevel = static_cast<int>(q.num(3));
    var.multi = q.num(4) != 0;
    var.optionsFixed = q.num(5) != 0;
    var.defaultIndex = static_cast<uint32_t>(q.num(6));
    var.seedDefaultIndex = static_cast<uint32_t>(q.num(7));
    (*vars)[cfgKey(var.name)] = var;
  });
  read = read && l.each([&](Stmt& q) {
    auto it = vars->find(cfgKey(q.text(0)));
    if (it == vars->end()) return;
    CfgVar& var = it->second;
    int instance = static_cast<int>(q.num(2));
    switch (q.num(1)) {
      case kListValue:
        if (instance >= 0 && static_cast<size_t>(instance) < var.inst.size()) var.inst[instance].values.push_back(q.text(3));
        break;
      case kListDefault: var.defaults.push_back(q.text(3)); break;
      case kListOption: var.options.push_back(q.text(3)); break;
      case kListSeedOption: var.seedOptions.push_back(q.text(3)); break;
      default: break;
    }
  });
  read = read && s.each([&](Stmt& q) {
    auto it = vars->find(cfgKey(q.text(0)));
    long long instance = q.num(1);
    if (it == vars->end() || instance < 0 || static_cast<size_t>(instance) >= it->second.inst.size()) return;
    it->second.inst[static_cast<size_t>(instance)].isDefault = q.num(2) != 0;
  });
  read = read && r.each([&](Stmt& q) {
    CfgReg reg;
    reg.client = q.text(0);
    reg.name = q.text(1);
    reg.instance = static_cast<int>(q.num(2));
    reg.type = static_cast<int>(q.num(3));
    reg.userContext = q.text(4);
    regs->push_back(reg);
  });
  read = read && c.each([&](Stmt& q) { components->push_back(q.text(0)); });
  if (!read) *err = std::string("cannot read the database: ") + sqlite3_errmsg(m_db);
  return read;
}

bool CfgStore::writeVar(const CfgVar& v) {
  Stmt delVar(kept("DELETE FROM vars WHERE name = ?"));
  Stmt delLists(kept("DELETE FROM lists WHERE name = ?"));
  Stmt delState(kept("DELETE FROM state WHERE name = ?"));
  if (!delVar.bind(1, v.name).run() || !delLists.bind(1, v.name).run() || !delState.bind(1, v.name).run()) {
    return false;
  }
  Stmt ins(kept("INSERT INTO vars(name, instances, read_level, write_level, multi, options_fixed, default_index, "
                "seed_default_index) VALUES(?,?,?,?,?,?,?,?)"));
  ins.bind(1, v.name)
      .bind(2, static_cast<long long>(v.inst.size()))
      .bind(3, v.readLevel)
      .bind(4, v.writeLevel)
      .bind(5, v.multi ? 1 : 0)
      .bind(6, v.optionsFixed ? 1 : 0)
      .bind(7, static_cast<long long>(v.defaultIndex))
      .bind(8, static_cast<long long>(v.seedDefaultIndex));
  if (!ins.run()) return false;
  if (!insertList(kept(kInsertList), v.name, kListDefault, 0, v.defaults) ||
      !insertList(kept(kInsertList), v.name, kListOption, 0, v.options) ||
      !insertList(kept(kInsertList), v.name, kListSeedOption, 0, v.seedOptions)) {
    return false;
  }
  for (size_t i = 0; i < v.inst.size(); ++i) {
    if (!writeInstance(v, static_cast<int>(i))) return false;
  }
  return true;
}

bool CfgStore::writeInstance(const CfgVar& v, int instance) {
  const CfgInstance& in = v.inst[static_cast<size_t>(instance)];
  Stmt del(kept("DELETE FROM lists WHERE name = ? AND kind = ? AND instance = ?"));
  if (!del.bind(1, v.name).bind(2, kListValue).bind(3, instance).run()) return false;
  if (!insertList(kept(kInsertList), v.name, kListValue, instance, in.values)) return false;
  Stmt st(kept("INSERT OR REPLACE INTO state(name, instance, is_default) VALUES(?,?,?)"));
  return st.bind(1, v.name).bind(2, instance).bind(3, in.isDefault ? 1 : 0).run();
}

// Every public write below is one transaction: all of it is in the database
// when it returns true, none of it when it returns false. Values and
// options are synced to the disk before that (`durable`); the rest is
// registered by clients at their own start (`light`).
bool CfgStore::durable() { return syncFull(true); }
bool CfgStore::light() { return syncFull(false); }

bool CfgStore::saveVar(const CfgVar& v) { return saveVars({&v}); }

bool CfgStore::saveVars(const std::vector<const CfgVar*>& vars) {
  if (!durable() || !begin()) return false;
  for (const CfgVar* v : vars) {
    if (!writeVar(*v)) {
      failed();
      rollback();
      return false;
    }
  }
  return commit();
}

bool CfgStore::saveInstance(const CfgVar& v, int instance) {
  if (instance < 0 || static_cast<size_t>(instance) >= v.inst.size()) return false;
  if (!durable() || !begin()) return false;
  if (!writeInstance(v, instance)) {
    failed();
    rollback();
    return false;
  }
  return commit();
}

bool CfgStore::committedLight(bool ran) {
  if (!ran) {
    failed();
  } else if (!m_unsynced) {
    m_unsynced = true;
    m_unsyncedSince = std::chrono::steady_clock::now();
  }
  return ran;
}

int CfgStore::unsyncedMs() const {
  if (!m_unsynced) return -1;
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_unsyncedSince)
          .count());
}

// A checkpoint syncs the log before it copies it into the database file.
// When it fails (a full disk) the commits stay in the log, to go with the
// next synced commit; the next light commit tries again.
bool CfgStore::sync() {
  if (!m_unsynced) return true;
  m_unsynced = false;
  if (sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr) == SQLITE_OK) return true;
  failed();
  return false;
}

bool CfgStore::saveLevels(const CfgVar& v) {
  if (!light()) return false;
  Stmt up(kept("UPDATE vars SET read_level = ?, write_level = ? WHERE name = ?"));
  return committedLight(up.bind(1, v.readLevel).bind(2, v.writeLevel).bind(3, v.name).run());
}

bool CfgStore::addReg(const CfgReg& r) {
  if (!light()) return false;
  Stmt ins(kept("INSERT OR REPLACE INTO registrations(client, name, instance, type, user_context) VALUES(?,?,?,?,?)"));
  return committedLight(ins.bind(1, r.client).bind(2, r.name).bind(3, r.instance).bind(4, r.type).bind(5, r.userContext).run());
}

bool CfgStore::removeReg(const CfgReg& r) {
  if (!light()) return false;
  Stmt del(kept("DELETE FROM registrations WHERE client = ? AND name = ? AND instance = ? AND type = ?"));
  return committedLight(del.bind(1, r.client).bind(2, r.name).bind(3, r.instance).bind(4, r.type).run());
}

bool CfgStore::removeClientRegs(const std::string& client) {
  if (!light()) return false;
  Stmt del(kept("DELETE FROM registrations WHERE client = ?"));
  return committedLight(del.bind(1, client).run());
}

bool CfgStore::addComponent(const std::string& name) {
  if (!light()) return false;
  Stmt ins(kept("INSERT OR IGNORE INTO components(name, attach_order) "
                "VALUES(?, (SELECT COALESCE(MAX(attach_order), 0) + 1 FROM components))"));
  return committedLight(ins.bind(1, name).run());
}

bool CfgStore::removeComponent(const std::string& name) {
  if (!light()) return false;
  Stmt del(kept("DELETE FROM components WHERE name = ?"));
  return committedLight(del.bind(1, name).run());
}
