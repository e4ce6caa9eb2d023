// Writes the seed corpora, fuzz/corpus/<target>/, from the inputs the unit
// tests use: fuzz_seeds <corpus folder>. Each file is one input as its
// target reads it (the selector byte first).
#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ConfigIF.pb.h"
#include "platform/msg/msgFrame.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvMessageTable.h"

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;
using std::string;

namespace {

string gTop;

void put(const string& target, const string& name, const string& bytes) {
  mkdir(gTop.c_str(), 0755);
  mkdir((gTop + "/" + target).c_str(), 0755);
  FILE* f = fopen((gTop + "/" + target + "/" + name).c_str(), "wb");
  if (f == nullptr || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) perror(name.c_str());
  if (f) fclose(f);
}

// Every field of m set once, with values of the kind the tests send.
void fill(Message* m, int depth) {
  const Reflection* r = m->GetReflection();
  const auto* d = m->GetDescriptor();
  for (int i = 0; i < d->field_count(); ++i) {
    const FieldDescriptor* f = d->field(i);
    const bool rep = f->is_repeated();
    switch (f->cpp_type()) {
      case FieldDescriptor::CPPTYPE_STRING: {
        const string v = f->name() == "name" ? "system.network.wired.ipv4nic.mode" : "eth0";
        rep ? r->AddString(m, f, v) : r->SetString(m, f, v);
        break;
      }
      case FieldDescriptor::CPPTYPE_BOOL: rep ? r->AddBool(m, f, true) : r->SetBool(m, f, true); break;
      case FieldDescriptor::CPPTYPE_INT32: rep ? r->AddInt32(m, f, 1) : r->SetInt32(m, f, 1); break;
      case FieldDescriptor::CPPTYPE_UINT32: rep ? r->AddUInt32(m, f, 1) : r->SetUInt32(m, f, 1); break;
      case FieldDescriptor::CPPTYPE_INT64: rep ? r->AddInt64(m, f, 1) : r->SetInt64(m, f, 1); break;
      case FieldDescriptor::CPPTYPE_UINT64: rep ? r->AddUInt64(m, f, 1) : r->SetUInt64(m, f, 1); break;
      case FieldDescriptor::CPPTYPE_DOUBLE: rep ? r->AddDouble(m, f, 1.5) : r->SetDouble(m, f, 1.5); break;
      case FieldDescriptor::CPPTYPE_FLOAT: rep ? r->AddFloat(m, f, 1.5f) : r->SetFloat(m, f, 1.5f); break;
      case FieldDescriptor::CPPTYPE_ENUM: {
        const auto* e = f->enum_type()->value(f->enum_type()->value_count() - 1);
        rep ? r->AddEnum(m, f, e) : r->SetEnum(m, f, e);
        break;
      }
      case FieldDescriptor::CPPTYPE_MESSAGE:
        if (depth < 4) fill(rep ? r->AddMessage(m, f) : r->MutableMessage(m, f), depth + 1);
        break;
    }
  }
}

void handlers() {
  for (int i = 0; i < kSyssrvHandlerCount; ++i) {
    const string sel(1, static_cast<char>(i));
    std::unique_ptr<Message> m = msgUtil_newMessage(kSyssrvHandlerTable[i].type);
    if (!m) {
      put("handlers", "row" + std::to_string(i + 1) + "-empty", sel);
      continue;
    }
    fill(m.get(), 0);
    put("handlers", "row" + std::to_string(i + 1) + "-full", sel + m->SerializeAsString());
  }
}

string frame(uint16_t kind, const string& payload, const string& sender = "SystemSrvc") {
  MsgFrameHead h;
  msgFrameHeader(&h, kind, 0x1b0010, 7, sender, static_cast<uint32_t>(payload.size()));
  return string(h.bytes, h.size) + payload;
}

void msgwire() {
  const string z(1, '\0');
  const string data = frame(kMsgFrameData, "\x08\x01"), sub = frame(kMsgFrameSubscribe, string(8, '\x01'));
  put("msgwire", "datagram-data", z + data);
  put("msgwire", "datagram-subscribe", z + sub);
  put("msgwire", "datagram-marker", z + frame(kMsgFrameMarker, string(8, '\x02')));
  put("msgwire", "datagram-wake", z + frame(kMsgFrameWake, string(8, '\0')));
  put("msgwire", "stream-three", string("\x01\x07", 2) + frame(kMsgFrameHello, "\x01\0\0\0") + data + sub);
  put("msgwire", "stream-bytewise", string("\x01\x00", 2) + data + data);
  // configsrvc: the selector byte, the type's index, the request.
  const auto& table = msgUtil_typeTable();
  int index = 0;
  for (const MsgTypeEntry& e : table) {
    if ((e.type >> 16) != 26) continue;
    std::unique_ptr<Message> m = msgUtil_newMessage(e.type);
    if (m && (e.type & 0xF) == 0) {
      fill(m.get(), 0);
      put("msgwire", string("config-") + e.name, string{'\x02', static_cast<char>(index)} + m->SerializeAsString());
    }
    ++index;
  }
}

string addrLine(const string& hex, int scope, const string& dev = "eth0") {
  char buf[128];
  snprintf(buf, sizeof buf, "%s %02x %02x %02x %02x %8s\n", hex.c_str(), 2, 64, scope, 0x80, dev.c_str());
  return buf;
}

string routeLine(const string& hop, unsigned flags) {
  const char any[] = "00000000000000000000000000000000";
  char buf[256];
  snprintf(buf, sizeof buf, "%s %02x %s %02x %s %08x %08x %08x %08x %8s\n", any, 0, any, 0, hop.c_str(), 0x400, 1, 0,
           flags, "eth0");
  return buf;
}

string postFrames(const std::vector<string>& pages) {
  string out = "\x01";  // wrapped by the target
  for (const string& p : pages) out += static_cast<char>(p.size()) + p;
  return out;
}

void parsers() {
  put("parsers", "alert-two", string(1, '\0') + string("A 3 1 A 1 10 A 2 1\0A1 2", 23));
  put("parsers", "alert-bad", string("\x00", 1) + "A 2 1 A 2 99999999999");
  put("parsers", "post-log", "\x01" + postFrames({": POST started\n0001: mem\n: POST started\n03", "50: wd\n0abc: u\n",
                                                   string("\0\0 0302: t2\n", 12), "", "", "", "", "", ""}));
  put("parsers", "post-raw", string("\x01\x00\x05\xa5\x05\xcd\xcc\x01", 8));
  put("parsers", "if_inet6", "\x02" + addrLine("fe8000000000000002e0dbfffe4a21cd", 0x20) +
                                 addrLine("20010db8004200000000000000000150", 0x00) +
                                 addrLine("00000000000000000000000000000001", 0x10, "lo"));
  put("parsers", "ipv6_route", "\x03" + routeLine("fe800000000000000000000000000001", 0x00450003) +
                                   routeLine("fe800000000000000000000000000002", 0x0003));
  put("parsers", "uptime", "\x04" "12345.67 400.00\n");
  put("parsers", "mount", string("\x05" "logs", 5) + '\0' + "/mnt/extdev/usb0\n/mnt/extdev/usb1\n");
  // Configuration values: variable index 0 with each callback; the target
  // picks the variable by the second byte, so the fuzzer walks the list.
  const char* values[] = {"true", "False", "0", "65535", "192.168.1.10", "fe80::1", "udp://10.0.0.1:514", "a\nb"};
  int n = 0;
  for (const char* v : values) {
    put("parsers", "config-" + std::to_string(n), string{'\x06', static_cast<char>(n * 23), static_cast<char>(n % 3), 0} + v);
    ++n;
  }
  put("parsers", "filters", "\x07+syssrv\ncnoise\nshown line\nnoise line\n-syssrv\nd*\n");
}

void quote() {
  const char* values[] = {"u@h:/a_b-c.d", "it's", "`id`$(id)", "\"\\", "*.c ?[a]", "a\r\nb", "${IFS}", "--", "\xff\xfe"};
  int n = 0;
  for (const char* v : values) put("quote", "value-" + std::to_string(n++), v);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  gTop = argv[1];
  handlers();
  msgwire();
  parsers();
  quote();
  return 0;
}
