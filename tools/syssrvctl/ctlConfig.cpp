// `syssrvctl config get|set|options|levels|dump|watch`: reading and writing
// the configuration service's variables from a shell. A refusal prints the
// error's name and exits 1.
#include "tools/syssrvctl/ctlConfig.h"

#include <chrono>
#include <cstring>
#include <ostream>

#include "CommonIF.pb.h"
#include "ConfigIF.pb.h"
#include "platform/msgutil/msgUtil.h"

const unsigned kCtlConfigOptions = kCtlOptTo | kCtlOptAs | kCtlOptTimeout | kCtlOptRole | kCtlOptSubmit | kCtlOptCount;
const char* const kCtlConfigUsage =
    "config get NAME[:INSTANCE] | set NAME VALUE | set NAME=VALUE... [--submit POINT]\n"
    "             | options NAME | levels NAME | dump [PREFIX] | watch [PREFIX] [--count N]\n"
    "      [--role user|admin|system|provisioning|startup] (default admin) [--to EP] (default ConfigSrvc)\n"
    "      read and write configuration variables; several NAME=VALUE make one batch,\n"
    "      framed for the submit point POINT when given";

namespace {

const char* const kCtlCfgService = "ConfigSrvc";
// The daemon's own configuration requests wait one second; a person at a
// shell can afford more for a busy service.
constexpr long kCtlCfgTimeoutMs = 5000;
constexpr long kSliceMs = 100;

struct RoleName {
  const char* name;
  CommonIF::eSecurityRole role;
};
const RoleName kRoles[] = {{"user", CommonIF::kUser},
                           {"admin", CommonIF::kAdmin},
                           {"system", CommonIF::kSystem},
                           {"provisioning", CommonIF::kProvisioning},
                           {"startup", CommonIF::kStartup}};

const char* roleName(int role) {
  for (const RoleName& r : kRoles) {
    if (r.role == role) return r.name;
  }
  return "?";
}

ConfigIF::Inst instOf(const std::string& name, int instance) {
  ConfigIF::Inst inst;
  ConfigIF::Node* n = inst.add_node();
  n->set_name(name);
  n->set_instance(instance);
  return inst;
}

template <class Req>
void stamp(CtlCfgSession& s, Req* req) {
  req->set_name(s.local.name());
  req->set_role(static_cast<CommonIF::eSecurityRole>(s.role));
}

int refused(CtlIo& io, const std::string& what, int error) {
  return io.fail(kCtlExitFailed, what + ": " + ctlCfgErrorName(error) + " (" + std::to_string(error) + ")");
}

std::string joined(const google::protobuf::RepeatedPtrField<std::string>& values, const char* sep) {
  std::string out;
  for (int i = 0; i < values.size(); ++i) out += (i ? sep : "") + values.Get(i);
  return out;
}

// One NAME[:INSTANCE] word as the only argument.
int oneName(const CtlArgs& args, CtlIo& io, const char* cmd, std::string* name, int* instance) {
  if (args.positional.size() != 2 || !ctlCfgSplitName(args.positional[1], name, instance)) {
    return io.fail(kCtlExitBadInput, std::string("config ") + cmd + ": expected NAME[:INSTANCE]");
  }
  return kCtlExitOk;
}

int cmdGet(const CtlArgs& args, CtlIo& io, CtlCfgSession& s) {
  std::string name;
  int instance = 0;
  int rc = oneName(args, io, "get", &name, &instance);
  if (rc != kCtlExitOk) return rc;
  ConfigIF::ReadReq req;
  stamp(s, &req);
  *req.mutable_instance() = instOf(name, instance);
  ConfigIF::ReadRsp rsp;
  if (!ctlCfgRequest(s, req, &rsp, io)) return kCtlExitFailed;
  if (rsp.error() != 0) return refused(io, "config get " + ctlCfgShowName(name, instance), rsp.error());
  // Values one per line, so that a multi-valued variable reads as a list.
  for (const std::string& v : rsp.value()) io.out << v << "\n";
  return kCtlExitOk;
}

struct Pair {
  std::string name;
  int instance = 0;
  std::string value;
};

// `set NAME VALUE` or `set NAME=VALUE...`.
bool parsePairs(const std::vector<std::string>& words, std::vector<Pair>* out) {
  bool allPairs = words.size() > 1;
  for (size_t i = 1; i < words.size(); ++i) allPairs = allPairs && words[i].find('=') != std::string::npos;
  if (allPairs) {
    for (size_t i = 1; i < words.size(); ++i) {
      Pair p;
      size_t eq = words[i].find('=');
      if (!ctlCfgSplitName(words[i].substr(0, eq), &p.name, &p.instance)) return false;
      p.value = words[i].substr(eq + 1);
      out->push_back(p);
    }
    return true;
  }
  if (words.size() != 3) return false;
  Pair p;
  if (!ctlCfgSplitName(words[1], &p.name, &p.instance)) return false;
  p.value = words[2];
  out->push_back(p);
  return true;
}

int cmdSet(const CtlArgs& args, CtlIo& io, CtlCfgSession& s) {
  std::vector<Pair> pairs;
  if (!parsePairs(args.positional, &pairs)) {
    return io.fail(kCtlExitBadInput, "config set: expected NAME VALUE or NAME=VALUE... ");
  }
  if (pairs.size() == 1 && !(args.given & kCtlOptSubmit)) {
    ConfigIF::WriteReq req;
    stamp(s, &req);
    *req.mutable_instance_val()->mutable_instance() = instOf(pairs[0].name, pairs[0].instance);
    req.mutable_instance_val()->add_value(pairs[0].value);
    ConfigIF::WriteRsp rsp;
    if (!ctlCfgRequest(s, req, &rsp, io)) return kCtlExitFailed;
    for (const std::string& m : rsp.error_message()) io.err << "syssrvctl: " << m << "\n";
    if (rsp.error() != 0) return refused(io, "config set " + ctlCfgShowName(pairs[0].name, pairs[0].instance), rsp.error());
    if (rsp.reboot_required()) io.out << "reboot required\n";
    return kCtlExitOk;
  }
  ConfigIF::BatchWriteReq req;
  stamp(s, &req);
  if (args.given & kCtlOptSubmit) req.set_submit_name(args.submit);
  for (const Pair& p : pairs) {
    ConfigIF::VarEntry* e = req.add_entry();
    e->set_name(p.name);
    e->set_instance(p.instance);
    e->add_value(p.value);
  }
  ConfigIF::BatchWriteRsp rsp;
  if (!ctlCfgRequest(s, req, &rsp, io)) return kCtlExitFailed;
  for (const std::string& m : rsp.error_message()) io.err << "syssrvctl: " << m << "\n";
  int status = kCtlExitOk;
  for (int i = 0; i < rsp.entry_error_size() && i < static_cast<int>(pairs.size()); ++i) {
    if (rsp.entry_error(i) != 0) {
      status = refused(io, "config set " + ctlCfgShowName(pairs[i].name, pairs[i].instance), rsp.entry_error(i));
    }
  }
  if (rsp.error() != 0 && status == kCtlExitOk) status = refused(io, "config set", rsp.error());
  if (rsp.reboot_required()) io.out << "reboot required\n";
  return status;
}

int cmdOptions(const CtlArgs& args, CtlIo& io, CtlCfgSession& s) {
  std::string name;
  int instance = 0;
  int rc = oneName(args, io, "options", &name, &instance);
  if (rc != kCtlExitOk) return rc;
  ConfigIF::GetAttributeOptionsReq req;
  stamp(s, &req);
  *req.mutable_instance() = instOf(name, instance);
  ConfigIF::GetAttributeOptionsRsp rsp;
  if (!ctlCfgRequest(s, req, &rsp, io)) return kCtlExitFailed;
  if (rsp.error() != 0) return refused(io, "config options " + name, rsp.error());
  // The default is marked, the way a settings page shows it.
  for (int i = 0; i < rsp.node_options_size(); ++i) {
    io.out << (static_cast<uint32_t>(i) == rsp.default_index() ? "* " : "  ") << rsp.node_options(i) << "\n";
  }
  return kCtlExitOk;
}

int cmdLevels(const CtlArgs& args, CtlIo& io, CtlCfgSession& s) {
  std::string name;
  int instance = 0;
  int rc = oneName(args, io, "levels", &name, &instance);
  if (rc != kCtlExitOk) return rc;
  ConfigIF::GetAccessLevelsReq req;
  stamp(s, &req);
  *req.mutable_instance() = instOf(name, instance);
  ConfigIF::GetAccessLevelsRsp rsp;
  if (!ctlCfgRequest(s, req, &rsp, io)) return kCtlExitFailed;
  if (rsp.error() != 0) return refused(io, "config levels " + name, rsp.error());
  io.out << "read " << roleName(rsp.read_level()) << " (" << rsp.read_level() << ")\n"
         << "write " << roleName(rsp.write_level()) << " (" << rsp.write_level() << ")\n";
  return kCtlExitOk;
}

int cmdDump(const CtlArgs& args, CtlIo& io, CtlCfgSession& s) {
  if (args.positional.size() > 2) return io.fail(kCtlExitBadInput, "config dump: expected at most one PREFIX");
  ConfigIF::DumpReq req;
  stamp(s, &req);
  if (args.positional.size() == 2) req.set_prefix(args.positional[1]);
  ConfigIF::DumpRsp rsp;
  if (!ctlCfgRequest(s, req, &rsp, io)) return kCtlExitFailed;
  if (rsp.error() != 0) return refused(io, "config dump", rsp.error());
  for (const ConfigIF::VarEntry& e : rsp.entry()) {
    io.out << ctlCfgShowName(e.name(), e.instance()) << " = " << joined(e.value(), "\\n") << "\n";
  }
  return kCtlExitOk;
}

struct CfgSub {
  const char* word;
  int (*run)(const CtlArgs& args, CtlIo& io, CtlCfgSession& s);
};

const CfgSub kCfgSubs[] = {
    {"get", cmdGet},     {"set", cmdSet}, {"options", cmdOptions}, {"levels", cmdLevels},
    {"dump", cmdDump},   {"watch", ctlCfgWatch},
};

}  // namespace

std::string ctlCfgErrorName(int error) {
  if (CommonIF::eErrorType_IsValid(error)) return CommonIF::eErrorType_Name(static_cast<CommonIF::eErrorType>(error));
  return "error " + std::to_string(error);
}

bool ctlCfgSplitName(const std::string& word, std::string* name, int* instance) {
  size_t colon = word.rfind(':');
  *name = word.substr(0, colon);
  *instance = 0;
  if (name->empty()) return false;
  if (colon == std::string::npos) return true;
  long n = 0;
  if (!ctlParseCount(word.substr(colon + 1), &n)) return false;
  *instance = static_cast<int>(n);
  return true;
}

std::string ctlCfgShowName(const std::string& name, int instance) {
  return instance == 0 ? name : name + ":" + std::to_string(instance);
}

int ctlCfgOpen(const CtlArgs& args, CtlIo& io, CtlCfgSession* s) {
  s->role = CommonIF::kAdmin;
  if (args.given & kCtlOptRole) {
    s->role = 0;
    for (const RoleName& r : kRoles) {
      if (args.role == r.name) s->role = r.role;
    }
    if (s->role == 0) {
      return io.fail(kCtlExitBadInput, "config: unknown role '" + args.role +
                                           "' (user, admin, system, provisioning, startup)");
    }
  }
  s->service = (args.given & kCtlOptTo) ? args.to : kCtlCfgService;
  s->timeoutMs = (args.given & kCtlOptTimeout) ? args.timeoutMs : kCtlCfgTimeoutMs;
  if (!s->local.open(args.as)) return io.fail(kCtlExitFailed, "cannot open a local endpoint");
  s->serviceId = MSG_GetRemoteId(s->local.name(), s->service.c_str());
  if (s->serviceId == 0) return io.fail(kCtlExitFailed, s->service + " is not running");
  return kCtlExitOk;
}

bool ctlCfgRequest(CtlCfgSession& s, const google::protobuf::Message& req, google::protobuf::Message* rsp,
                   CtlIo& io) {
  MSG_Message* m = msgUtil_buildMsg(req, MSG_GetNextSequence(), nullptr);
  if (m == nullptr || MSG_SendMsg(s.local.name(), s.serviceId, m) != 0) {
    io.fail(kCtlExitFailed, "sending " + req.GetTypeName() + " to " + s.service + " failed");
    return false;
  }
  const MSG_Type type = msgUtil_getMsgId(*rsp);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.timeoutMs);
  while (!gCtlStop) {
    long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) break;
    MSG_Message* r = MSG_RecvMsg(s.local.name(), type, static_cast<int>(left < kSliceMs ? left : kSliceMs));
    if (r == nullptr) continue;
    bool ok = rsp->ParseFromArray(MSG_GetPayload(r), static_cast<int>(MSG_GetPayloadBytes(r)));
    MSG_ReleaseMsg(r);
    if (!ok) io.fail(kCtlExitFailed, "unreadable " + rsp->GetTypeName() + " from " + s.service);
    return ok;
  }
  io.fail(kCtlExitFailed, "no " + rsp->GetTypeName() + " from " + s.service + " within " +
                              std::to_string(s.timeoutMs) + " ms");
  return false;
}

int ctlCmdConfig(const CtlArgs& args, CtlIo& io) {
  if (args.positional.empty()) return io.fail(kCtlExitBadInput, "config: missing sub-command (get, set, options, levels, dump, watch)");
  for (const CfgSub& sub : kCfgSubs) {
    if (args.positional[0] != sub.word) continue;
    if ((args.given & kCtlOptSubmit) && std::strcmp(sub.word, "set") != 0) {
      return io.fail(kCtlExitBadInput, "config: --submit goes with set");
    }
    if ((args.given & kCtlOptCount) && std::strcmp(sub.word, "watch") != 0) {
      return io.fail(kCtlExitBadInput, "config: --count goes with watch");
    }
    ctlCatchStopSignals();
    CtlCfgSession s;
    int rc = ctlCfgOpen(args, io, &s);
    if (rc != kCtlExitOk) return rc;
    return sub.run(args, io, s);
  }
  return io.fail(kCtlExitBadInput, "config: unknown sub-command '" + args.positional[0] +
                                       "' (get, set, options, levels, dump, watch)");
}
