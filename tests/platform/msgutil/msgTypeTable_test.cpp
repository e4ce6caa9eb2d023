// The type table: its invariants over every row (one type per class, one
// class per type, kind and interface fields that agree with the class,
// lookups that round-trip, every interface message present), a few rows
// whose numbers the peer processes fix, and lookups that must fail.
#include <gtest/gtest.h>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using google::protobuf::Descriptor, google::protobuf::FileDescriptor;

const std::map<std::string, uint32_t> kInterfaceNumbers = {
    {"PlatformIF", 23}, {"ConfigIF", 26}, {"SystemIF", 27}, {"ProcessMonitorIF", 29},
    {"DnsIF", 34},      {"ModRoomIF", 47}, {"ExtcameraIF", 48}, {"DemoIF", 120},
};

// Kind nibble by class-name suffix; -1 for a part of other messages.
int kindOfName(const std::string& name) {
  std::smatch m;
  if (!std::regex_search(name, m, std::regex("(Req|Rsp|Cmd|Ntfy)$")) || m.position(0) == 0) return -1;
  return static_cast<int>(std::string("Req Rsp Cmd Ntfy").find(m.str(1)) / 4);
}

TEST(MsgTypeTable, EveryRowIsUniqueAgreesWithItsClassAndRoundTrips) {
  std::set<MSG_Type> types;
  for (const MsgTypeEntry& e : msgUtil_typeTable()) {
    SCOPED_TRACE(e.name);
    std::string name(e.name);
    EXPECT_TRUE(types.insert(e.type).second) << "type shared with another class";
    ASSERT_NE(e.prototype(), nullptr);
    EXPECT_EQ(e.prototype()->GetDescriptor()->full_name(), name);
    ASSERT_GE(kindOfName(name), 0) << "not a Req/Rsp/Cmd/Ntfy";
    EXPECT_EQ(static_cast<int>(e.type & 0xF), kindOfName(name));
    auto iface = kInterfaceNumbers.find(name.substr(0, name.find('.')));
    ASSERT_NE(iface, kInterfaceNumbers.end());
    EXPECT_EQ(e.type >> 16, iface->second);
    EXPECT_EQ(msgUtil_findByType(e.type), &e);
    EXPECT_EQ(msgUtil_findByName(name), &e);
    EXPECT_EQ(msgUtil_findByName(name.replace(name.find('.'), 1, "::")), &e);
    std::unique_ptr<google::protobuf::Message> m = msgUtil_newMessage(e.type);
    ASSERT_NE(m, nullptr);
    EXPECT_NE(m.get(), e.prototype()) << "a new object, not the shared default";
    EXPECT_EQ(msgUtil_getMsgId(*m), e.type);
  }
}

TEST(MsgTypeTable, EveryInterfaceMessageHasATypeAndNoPartHasOne) {
  size_t messages = 0;
  for (const char* file : {"CommonIF.proto", "ConfigIF.proto", "SystemIF.proto", "PlatformIF.proto",
                           "ProcessMonitorIF.proto", "DnsIF.proto", "ModRoomIF.proto", "ExtcameraIF.proto",
                           "DemoIF.proto"}) {
    const FileDescriptor* fd = google::protobuf::DescriptorPool::generated_pool()->FindFileByName(file);
    ASSERT_NE(fd, nullptr) << file;
    for (int i = 0; i < fd->message_type_count(); ++i) {
      const Descriptor* d = fd->message_type(i);
      bool message = kindOfName(d->name()) >= 0;
      messages += message;
      EXPECT_EQ(msgUtil_findByName(d->full_name()) != nullptr, message) << d->full_name();
    }
  }
  EXPECT_EQ(messages, msgUtil_typeTable().size());
}

TEST(MsgTypeTable, NumbersThePeersFixAreKeptAndUnknownLookupsFail) {
  const std::pair<const char*, MSG_Type> anchors[] = {
      {"SystemIF.GetPacFileReq", 0x1B0290},     {"SystemIF.SetSystemTimezoneAndTimeCmd", 0x1B02F2},
      {"ModRoomIF.CallStatusNtfy", 0x2F00C3},   {"ProcessMonitorIF.MacAddrRsp", 0x1D0071},
      {"ConfigIF.ConfigChangedNtfy", 0x1A0143}, {"PlatformIF.RequestTimeZoneCmd", 0x1702B2},
  };
  for (const auto& a : anchors) {
    const MsgTypeEntry* e = msgUtil_findByName(a.first);
    ASSERT_NE(e, nullptr) << a.first;
    EXPECT_EQ(e->type, a.second) << a.first;
  }
  EXPECT_EQ(kMsgIdSystemIFSetOobReq, 0x1B00E0u);
  // Lookups that must fail.
  EXPECT_EQ(msgUtil_newMessage(0x1B0010), nullptr);  // a free SystemIF slot
  for (const char* n : {"", "GetLanStatusReq", "systemif.GetLanStatusReq", "SystemIF:GetLanStatusReq",
                        "SystemIF.GetLanStatusReq "})
    EXPECT_EQ(msgUtil_findByName(n), nullptr) << n;
}

}  // namespace
