// `config watch [PREFIX]`: registers for change notifications of every
// variable under the prefix and prints each change until interrupted (or
// --count changes, or --timeout ms without one). The registrations are
// removed again on the way out, so the service does not keep calling a
// client that is gone.
#include <chrono>
#include <ostream>

#include "ConfigIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "tools/syssrvctl/ctlConfig.h"

namespace {

constexpr long kSliceMs = 100;

void unregisterAll(CtlCfgSession& s, CtlIo& io) {
  ConfigIF::UnregisterAllClientCallbacksReq req;
  req.set_name(s.local.name());
  req.set_role(static_cast<CommonIF::eSecurityRole>(s.role));
  ConfigIF::UnregisterAllClientCallbacksRsp rsp;
  ctlCfgRequest(s, req, &rsp, io);
}

int registerPrefix(const CtlArgs& args, CtlIo& io, CtlCfgSession& s, size_t* count) {
  ConfigIF::DumpReq dump;
  dump.set_name(s.local.name());
  dump.set_role(static_cast<CommonIF::eSecurityRole>(s.role));
  if (args.positional.size() == 2) dump.set_prefix(args.positional[1]);
  ConfigIF::DumpRsp vars;
  if (!ctlCfgRequest(s, dump, &vars, io)) return kCtlExitFailed;
  *count = 0;
  for (const ConfigIF::VarEntry& e : vars.entry()) {
    // One registration for instance 0 covers every instance.
    if (e.instance() != 0) continue;
    ConfigIF::RegisterClientCallbackReq req;
    req.set_name(s.local.name());
    req.set_role(static_cast<CommonIF::eSecurityRole>(s.role));
    req.set_instance(0);
    req.set_node_name(e.name());
    req.set_type(ConfigIF::kChangeNotify);
    req.set_user_context("");
    ConfigIF::RegisterClientCallbackRsp rsp;
    if (!ctlCfgRequest(s, req, &rsp, io)) return kCtlExitFailed;
    if (rsp.error() != 0) {
      return io.fail(kCtlExitFailed, "config watch " + e.name() + ": " + ctlCfgErrorName(rsp.error()));
    }
    ++*count;
  }
  return kCtlExitOk;
}

}  // namespace

int ctlCfgWatch(const CtlArgs& args, CtlIo& io, CtlCfgSession& s) {
  if (args.positional.size() > 2) return io.fail(kCtlExitBadInput, "config watch: expected at most one PREFIX");
  size_t count = 0;
  int rc = registerPrefix(args, io, s, &count);
  if (rc != kCtlExitOk) {
    unregisterAll(s, io);
    return rc;
  }
  if (count == 0) return io.fail(kCtlExitFailed, "config watch: no variable under that prefix");
  io.out << "watching " << count << " variables" << std::endl;

  const bool limited = (args.given & kCtlOptTimeout) != 0;
  auto quietSince = std::chrono::steady_clock::now();
  long seen = 0;
  while (!gCtlStop && !((args.given & kCtlOptCount) && seen >= args.count)) {
    if (limited && std::chrono::steady_clock::now() - quietSince > std::chrono::milliseconds(args.timeoutMs)) break;
    MSG_Message* m = MSG_RecvMsg(s.local.name(), kMsgIdConfigIFConfigChangedNtfy, static_cast<int>(kSliceMs));
    if (m == nullptr) continue;
    ConfigIF::ConfigChangedNtfy n;
    bool ok = n.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m)));
    MSG_ReleaseMsg(m);
    if (!ok || n.instance_val().instance().node_size() == 0) continue;
    const ConfigIF::Inst& inst = n.instance_val().instance();
    std::string value;
    for (int i = 0; i < n.instance_val().value_size(); ++i) value += (i ? "\\n" : "") + n.instance_val().value(i);
    io.out << ctlCfgShowName(inst.node(0).name(), inst.node(inst.node_size() - 1).instance()) << " = " << value
           << " (by " << n.name() << ")" << std::endl;
    ++seen;
    quietSince = std::chrono::steady_clock::now();
  }
  unregisterAll(s, io);
  return kCtlExitOk;
}
