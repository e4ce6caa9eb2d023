#include "tools/configsrvc/cfgSeed.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <istream>
#include <map>
#include <set>
#include <sstream>

namespace {

// Largest instance or element count a line may ask for; a typo of a few
// digits would otherwise create millions of rows.
constexpr long kSeedMaxCount = 1024;

// Splits a line at blanks outside double quotes; quotes and escapes are kept
// for parseList. false when a quote is not closed.
bool splitTokens(const std::string& line, std::vector<std::string>* out) {
  std::string cur;
  bool inQuote = false;
  bool have = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (inQuote) {
      cur += c;
      if (c == '\\' && i + 1 < line.size()) {
        cur += line[++i];
      } else if (c == '"') {
        inQuote = false;
      }
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (have) out->push_back(cur);
      cur.clear();
      have = false;
    } else {
      if (c == '"') inQuote = true;
      cur += c;
      have = true;
    }
  }
  if (inQuote) return false;
  if (have) out->push_back(cur);
  return true;
}

// `"a","b"` (commas between quoted texts) into texts. With `commas` false
// the texts are simply adjacent or blank-separated (set blocks).
bool parseList(const std::string& s, bool commas, std::vector<std::string>* out, std::string* err) {
  size_t i = 0;
  bool first = true;
  while (i < s.size()) {
    if (!first && commas) {
      if (s[i] != ',') {
        *err = "expected ',' between quoted texts in " + s;
        return false;
      }
      ++i;
    }
    while (!commas && i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    if (s[i] != '"') {
      *err = "expected a quoted text in " + s;
      return false;
    }
    std::string text;
    for (++i;; ++i) {
      if (i >= s.size()) {
        *err = "unterminated quote in " + s;
        return false;
      }
      char c = s[i];
      if (c == '"') break;
      if (c == '\\') {
        if (++i >= s.size()) break;
        switch (s[i]) {
          case 'n': text += '\n'; break;
          case 't': text += '\t'; break;
          case '"': text += '"'; break;
          case '\\': text += '\\'; break;
          default:
            *err = std::string("unknown escape \\") + s[i];
            return false;
        }
        continue;
      }
      text += c;
    }
    ++i;
    out->push_back(text);
    first = false;
  }
  if (first && commas) {
    *err = "expected a quoted text";
    return false;
  }
  return true;
}

bool validName(const std::string& n) {
  if (n.empty() || n.front() == '.' || n.back() == '.' || n.find("..") != std::string::npos) return false;
  for (char c : n) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-' && c != '[' && c != ']') {
      return false;
    }
  }
  return true;
}

bool parseCount(const std::string& s, long* out) {
  if (s.empty() || s.size() > 6) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  *out = std::stol(s);
  return *out >= 1 && *out <= kSeedMaxCount;
}

bool parseLevels(const std::string& s, CfgVar* v) {
  size_t slash = s.find('/');
  if (slash == std::string::npos) return false;
  v->readLevel = cfgRoleByName(s.substr(0, slash));
  v->writeLevel = cfgRoleByName(s.substr(slash + 1));
  return v->readLevel != 0 && v->writeLevel != 0;
}

class SeedParser {
 public:
  SeedParser(const std::string& source, std::vector<CfgVar>* out) : m_source(source), m_out(out) {}

  bool line(const std::string& text, std::string* err) {
    ++m_line;
    std::vector<std::string> tok;
    if (!splitTokens(text, &tok)) return fail("unterminated quote", err);
    if (tok.empty() || tok[0][0] == '#') return true;
    if (!m_set.empty()) {
      if (tok.size() == 1 && tok[0] == "end") {
        m_set.clear();
        return true;
      }
      std::string e;
      for (const std::string& t : tok) {
        if (!parseList(t, false, &m_sets[m_set], &e)) return fail(e, err);
      }
      return true;
    }
    if (tok[0] == "set") {
      if (tok.size() != 2) return fail("expected 'set NAME'", err);
      if (m_sets.count(tok[1])) return fail("set " + tok[1] + " defined twice", err);
      m_set = tok[1];
      m_sets[m_set];
      return true;
    }
    return variable(tok, err);
  }

  bool finish(std::string* err) {
    if (!m_set.empty()) return fail("set " + m_set + " has no 'end'", err);
    return true;
  }

 private:
  bool fail(const std::string& what, std::string* err) {
    *err = m_source + ":" + std::to_string(m_line) + ": " + what;
    return false;
  }

  bool variable(const std::vector<std::string>& tok, std::string* err) {
    if (tok.size() < 3) return fail("expected NAME READ/WRITE \"DEFAULT\" [ATTRIBUTES]", err);
    CfgVar v;
    std::string pattern = tok[0];
    if (!validName(pattern)) return fail("bad variable name " + pattern, err);
    if (!parseLevels(tok[1], &v)) return fail("bad access levels " + tok[1] + " (e.g. user/admin)", err);
    std::string e;
    if (!parseList(tok[2], true, &v.defaults, &e)) return fail("default: " + e, err);
    long instances = 1;
    long elements = 0;
    bool haveOptions = false;
    for (size_t i = 3; i < tok.size(); ++i) {
      const std::string& t = tok[i];
      if (t == "open") {
        v.optionsFixed = false;
      } else if (t == "multi") {
        v.multi = true;
      } else if (t.compare(0, 10, "instances=") == 0) {
        if (!parseCount(t.substr(10), &instances)) return fail("bad " + t, err);
      } else if (t.compare(0, 9, "elements=") == 0) {
        if (!parseCount(t.substr(9), &elements)) return fail("bad " + t, err);
      } else if (t.compare(0, 8, "options=") == 0) {
        std::string list = t.substr(8);
        if (!list.empty() && list[0] == '@') {
          auto it = m_sets.find(list.substr(1));
          if (it == m_sets.end()) return fail("unknown set " + list, err);
          v.options = it->second;
        } else if (!parseList(list, true, &v.options, &e)) {
          return fail("options: " + e, err);
        }
        haveOptions = true;
      } else {
        return fail("unknown attribute " + t, err);
      }
    }
    if (!v.multi && v.defaults.size() != 1) return fail("a single-valued variable has one default", err);
    if (haveOptions) {
      std::set<std::string> seen(v.options.begin(), v.options.end());
      if (seen.size() != v.options.size()) return fail("an option is listed twice", err);
      if (v.multi) return fail("options of a multi-valued variable are not supported", err);
      auto at = std::find(v.options.begin(), v.options.end(), v.defaults[0]);
      if (at == v.options.end()) return fail("default \"" + v.defaults[0] + "\" is not one of the options", err);
      v.defaultIndex = static_cast<uint32_t>(at - v.options.begin());
    } else if (!v.optionsFixed) {
      return fail("'open' without options", err);
    }
    v.seedOptions = v.options;
    v.seedDefaultIndex = v.defaultIndex;
    v.inst.assign(static_cast<size_t>(instances), CfgInstance{v.defaults, true});

    size_t hole = pattern.find("[]");
    if ((hole != std::string::npos) != (elements > 0)) return fail("'[]' in the name goes with elements=N", err);
    if (hole != std::string::npos && pattern.find("[]", hole + 2) != std::string::npos) {
      return fail("only one '[]' per name", err);
    }
    for (long el = 0; el < (elements > 0 ? elements : 1); ++el) {
      v.name = pattern;
      if (hole != std::string::npos) v.name.replace(hole, 2, el == 0 ? "" : "[" + std::to_string(el) + "]");
      if (v.name != cfgCanonicalName(v.name)) return fail("write element 0 without [0]: " + v.name, err);
      if (!m_names.insert(cfgKey(v.name)).second) return fail(v.name + " listed twice", err);
      m_out->push_back(v);
    }
    return true;
  }

  std::string m_source;
  std::vector<CfgVar>* m_out;
  int m_line = 0;
  std::string m_set;  // inside this set block
  std::map<std::string, std::vector<std::string>> m_sets;
  std::set<std::string> m_names;
};

}  // namespace

bool cfgSeedParse(std::istream& in, const std::string& source, std::vector<CfgVar>* out, std::string* err) {
  out->clear();
  SeedParser p(source, out);
  std::string text;
  while (std::getline(in, text)) {
    if (!p.line(text, err)) return false;
  }
  return p.finish(err);
}

bool cfgSeedLoadFile(const std::string& path, std::vector<CfgVar>* out, std::string* err) {
  std::ifstream in(path);
  if (!in) {
    *err = path + ": cannot read";
    return false;
  }
  return cfgSeedParse(in, path, out, err);
}
