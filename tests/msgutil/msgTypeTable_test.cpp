// The type table against the independent list of fixed numbers, and the
// table's own invariants: one type per class, one class per type, kind and
// interface fields that agree with the class, every interface class present.
#include <gtest/gtest.h>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include <map>
#include <set>
#include <string>

#include "ConfigIF.pb.h"
#include "PlatformIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/msgutil/fixedTypes.h"

namespace {

using google::protobuf::Descriptor;
using google::protobuf::DescriptorPool;
using google::protobuf::FileDescriptor;

const std::map<std::string, uint32_t> kInterfaceNumbers = {
    {"PlatformIF", 23}, {"ConfigIF", 26},    {"SystemIF", 27},
    {"ProcessMonitorIF", 29}, {"DnsIF", 34}, {"ModRoomIF", 47},
    {"ExtcameraIF", 48}, {"DemoIF", 120},
};

const char* const kProtoFiles[] = {
    "CommonIF.proto", "ConfigIF.proto",  "SystemIF.proto",    "PlatformIF.proto",
    "ProcessMonitorIF.proto", "DnsIF.proto", "ModRoomIF.proto", "ExtcameraIF.proto",
    "DemoIF.proto",
};

// Kind nibble by class-name suffix; -1 for a class that is not a message of
// its own (a part of other messages).
int kindOfName(const std::string& name) {
  auto endsWith = [&](const char* s) {
    std::string suffix(s);
    return name.size() > suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  if (endsWith("Req")) return 0;
  if (endsWith("Rsp")) return 1;
  if (endsWith("Cmd")) return 2;
  if (endsWith("Ntfy")) return 3;
  return -1;
}

std::string packageOf(const std::string& fullName) {
  return fullName.substr(0, fullName.find('.'));
}

TEST(MsgTypeTable, FixedNumbersAreMappedExactly) {
  std::map<std::string, uint32_t> seen;
  for (const FixedType& s : kFixedTypes) {
    SCOPED_TRACE(s.name);
    // The same class written twice (hex and decimal) must agree with itself.
    auto prev = seen.find(s.name);
    if (prev != seen.end()) {
      EXPECT_EQ(prev->second, s.type);
    }
    seen[s.name] = s.type;

    const MsgTypeEntry* byName = msgUtil_findByName(s.name);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->type, s.type);
    const MsgTypeEntry* byType = msgUtil_findByType(s.type);
    ASSERT_NE(byType, nullptr);
    EXPECT_STREQ(byType->name, s.name);
    EXPECT_EQ(msgUtil_getMsgId(*byName->prototype()), s.type);
  }
  // Every class whose number is fixed elsewhere is covered by the list.
  EXPECT_EQ(seen.size(), 96u);
}

TEST(MsgTypeTable, NamedConstantsMatchFixedNumbers) {
  // A few constants that handler code uses by name, spot-checked in the
  // notation the peers use.
  EXPECT_EQ(kMsgIdSystemIFSetOobReq, 1769696u);
  EXPECT_EQ(kMsgIdSystemIFSetOobRsp, 1769681u);
  EXPECT_EQ(kMsgIdSystemIFAppStatusAlertNtfy, 0x1B01D3u);
  EXPECT_EQ(kMsgIdSystemIFLanStatusChangeNtfy, 0x1B00A3u);
  EXPECT_EQ(kMsgIdSystemIFGetLanStatusRsp, 0x1B0081u);
  EXPECT_EQ(kMsgIdPlatformIFRequestTimeZoneCmd, 0x1702B2u);
  EXPECT_EQ(kMsgIdConfigIFReadReq, 1703936u);
  EXPECT_EQ(kMsgIdConfigIFSubmitNtfy, 1704563u);
  EXPECT_EQ(kMsgIdModRoomIFCallStatusNtfy, 3080387u);
}

TEST(MsgTypeTable, TypesAndNamesAreUnique) {
  std::set<MSG_Type> types;
  std::set<std::string> names;
  for (const MsgTypeEntry& e : msgUtil_typeTable()) {
    EXPECT_TRUE(types.insert(e.type).second) << "type 0x" << std::hex << e.type << " used twice";
    EXPECT_TRUE(names.insert(e.name).second) << e.name << " listed twice";
    EXPECT_NE(e.type, 0u) << e.name;
  }
  EXPECT_EQ(types.size(), msgUtil_typeTable().size());
}

TEST(MsgTypeTable, RowNameIsTheClassName) {
  for (const MsgTypeEntry& e : msgUtil_typeTable()) {
    ASSERT_NE(e.prototype, nullptr) << e.name;
    ASSERT_NE(e.prototype(), nullptr) << e.name;
    EXPECT_EQ(e.prototype()->GetDescriptor()->full_name(), e.name);
  }
}

TEST(MsgTypeTable, KindAndInterfaceFieldsMatchTheClass) {
  for (const MsgTypeEntry& e : msgUtil_typeTable()) {
    SCOPED_TRACE(e.name);
    std::string name(e.name);
    int kind = kindOfName(name);
    ASSERT_GE(kind, 0) << "table holds a class that is not a Req/Rsp/Cmd/Ntfy";
    EXPECT_EQ(static_cast<int>(e.type & 0xF), kind);
    auto iface = kInterfaceNumbers.find(packageOf(name));
    ASSERT_NE(iface, kInterfaceNumbers.end());
    EXPECT_EQ(e.type >> 16, iface->second);
  }
}

TEST(MsgTypeTable, EveryInterfaceMessageHasAType) {
  const DescriptorPool* pool = DescriptorPool::generated_pool();
  size_t messages = 0;
  for (const char* file : kProtoFiles) {
    const FileDescriptor* fd = pool->FindFileByName(file);
    ASSERT_NE(fd, nullptr) << file;
    for (int i = 0; i < fd->message_type_count(); ++i) {
      const Descriptor* d = fd->message_type(i);
      const MsgTypeEntry* e = msgUtil_findByName(d->full_name());
      if (kindOfName(d->name()) >= 0) {
        ++messages;
        EXPECT_NE(e, nullptr) << d->full_name() << " has no type";
      } else {
        EXPECT_EQ(e, nullptr) << d->full_name() << " is a part, not a message";
      }
    }
  }
  EXPECT_EQ(messages, msgUtil_typeTable().size());
}

TEST(MsgTypeTable, LookupsRoundTrip) {
  for (const MsgTypeEntry& e : msgUtil_typeTable()) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(msgUtil_findByType(e.type), &e);
    EXPECT_EQ(msgUtil_findByName(e.name), &e);
    std::string cxxName(e.name);
    cxxName.replace(cxxName.find('.'), 1, "::");
    EXPECT_EQ(msgUtil_findByName(cxxName), &e);

    std::unique_ptr<google::protobuf::Message> m = msgUtil_newMessage(e.type);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetDescriptor(), e.prototype()->GetDescriptor());
    EXPECT_NE(m.get(), e.prototype()) << "a new object, not the shared default";
    EXPECT_EQ(msgUtil_getMsgId(*m), e.type);
  }
}

TEST(MsgTypeTable, UnknownLookupsFail) {
  EXPECT_EQ(msgUtil_findByType(0), nullptr);
  EXPECT_EQ(msgUtil_findByType(0x1B0010), nullptr);  // free SystemIF slot
  EXPECT_EQ(msgUtil_findByType(0xFFFFFFFF), nullptr);
  EXPECT_EQ(msgUtil_newMessage(0x1B0010), nullptr);
  EXPECT_EQ(msgUtil_findByName(""), nullptr);
  EXPECT_EQ(msgUtil_findByName("GetLanStatusReq"), nullptr);
  EXPECT_EQ(msgUtil_findByName("SystemIF.NoSuchReq"), nullptr);
  EXPECT_EQ(msgUtil_findByName("systemif.GetLanStatusReq"), nullptr);
  EXPECT_EQ(msgUtil_findByName("SystemIF:GetLanStatusReq"), nullptr);
  EXPECT_EQ(msgUtil_findByName("SystemIF.GetLanStatusReq "), nullptr);
  EXPECT_EQ(msgUtil_findByName("ConfigIF.Node"), nullptr);
  EXPECT_EQ(msgUtil_getMsgId(ConfigIF::Node()), 0u);
  EXPECT_EQ(msgUtil_getMsgId(ConfigIF::ReturnMessage()), 0u);
  EXPECT_EQ(msgUtil_getMsgId(PlatformIF::PeripheralMessage()), 0u);
}

TEST(MsgTypeTable, ErrorTypeIsCarriedAsItsNumber) {
  const google::protobuf::EnumDescriptor* ed = CommonIF::eErrorType_descriptor();
  ASSERT_EQ(ed->value_count(), 12);
  for (int i = 0; i < ed->value_count(); ++i) {
    int v = ed->value(i)->number();
    EXPECT_EQ(convertErrorTypeToCommonPbType(v), v) << ed->value(i)->name();
  }
  EXPECT_EQ(CommonIF::kErrPortLocked, -11);
  // Internal status numbers passed through a reply keep their value.
  EXPECT_EQ(convertErrorTypeToCommonPbType(-25), -25);
}

}  // namespace
