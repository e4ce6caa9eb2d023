// Notifications: subscribing at a remote, and publishing to subscribers.
//
// A subscription is a control frame (a datagram) sent from the subscriber's endpoint to
// the publisher's. The publisher keeps (subscriber name, min, max) once each;
// the subscriber remembers what it asked for and asks again whenever the
// publisher's socket reappears, so a publisher that restarts keeps its
// subscribers without their doing anything.
#include <algorithm>
#include <cstring>

#include "platform/msg/msgInternal.h"
#include "platform/msg/msgMonitor.h"

namespace {

bool sameRange(const MsgRange& a, const MsgRange& b) {
  return a.name == b.name && a.min == b.min && a.max == b.max;
}

void addOnce(std::vector<MsgRange>* list, const MsgRange& r) {
  for (const MsgRange& have : *list) {
    if (sameRange(have, r)) return;
  }
  list->push_back(r);
}

}  // namespace

void msgSubscribeFrame(MsgFrameHead* head, uint8_t payload[kMsgSubscribePayloadBytes], const std::string& local,
                       MSG_Type min, MSG_Type max) {
  memcpy(payload, &min, sizeof min);
  memcpy(payload + sizeof min, &max, sizeof max);
  msgFrameHeader(head, kMsgFrameSubscribe, 0, 0, local, kMsgSubscribePayloadBytes);
}

void msgAddSubscriber(MsgEndpoint& ep, const std::string& sender, const uint8_t* payload) {
  MSG_Type min;
  MSG_Type max;
  memcpy(&min, payload, sizeof min);
  memcpy(&max, payload + sizeof min, sizeof max);
  if (min > max) {
    msgLog("%s: subscription of %s for 0x%x..0x%x ignored", ep.name.c_str(), sender.c_str(), min, max);
    return;
  }
  addOnce(&ep.subscribers, {sender, min, max});
}

void msgSubscriptionsAt(const MsgEndpoint& ep, const std::string& remote, std::vector<MsgRange>* out) {
  for (const MsgRange& r : ep.subscriptions) {
    if (r.name == remote) out->push_back(r);
  }
}

int MSG_RegisterNotificationRemote(const char* local, MSG_Type min, MSG_Type max, MSG_Endpoint remote) {
  if (min > max) return -1;
  MsgState& s = msgState();
  std::string name;
  std::string dir;
  std::string self;
  {
    std::lock_guard<std::mutex> g(s.lock);
    MsgEndpointPtr ep = msgFindLocal(local);
    if (!ep) return -1;
    const std::string* known = msgNameOf(remote);
    if (known == nullptr) {
      msgLog("%s: subscription at unknown endpoint id %u refused", ep->name.c_str(), remote);
      return -1;
    }
    name = *known;
    // Remembered even when the send below fails: it goes out again when the
    // remote appears.
    addOnce(&ep->subscriptions, {name, min, max});
    dir = ep->dir;
    self = ep->name;
  }
  MsgFrameHead head;
  uint8_t payload[kMsgSubscribePayloadBytes];
  msgSubscribeFrame(&head, payload, self, min, max);
  return msgSendFrame(dir, name, head, payload, sizeof payload);
}

int MSG_SendNotification(const char* local, MSG_Message* msg) {
  MsgMessagePtr owned(msg);
  if (!msg) return -1;
  MsgState& s = msgState();
  std::string dir;
  MsgFrameHead head;
  std::vector<std::string> to;
  {
    std::unique_lock<std::mutex> lk(s.lock);
    MsgEndpointPtr ep = msgFindLocal(local);
    if (!ep) return -1;
    // Subscriptions that reached us before this notification must get it.
    msgTakeInArrived(lk, ep);
    if (ep->closed) return -1;
    if (msg->payload.size() > MSG_MAX_PAYLOAD) {
      msgLog("notification with a %zu-byte payload refused, the limit is %u", msg->payload.size(), MSG_MAX_PAYLOAD);
      return -1;
    }
    for (const MsgRange& r : ep->subscribers) {
      if (msg->type >= r.min && msg->type <= r.max && std::find(to.begin(), to.end(), r.name) == to.end()) {
        to.push_back(r.name);
      }
    }
    dir = ep->dir;
    msgFrameHeader(&head, kMsgFrameData, msg->type, msg->sequence, ep->name, static_cast<uint32_t>(msg->payload.size()));
  }
  std::vector<std::string> gone;
  for (const std::string& name : to) {
    if (msgSendFrame(dir, name, head, msg->payload.data(), msg->payload.size()) != 0) {
      gone.push_back(name);
    } else {
      msgMonitorCopy(dir, name, head, msg->payload.data(), msg->payload.size());
    }
  }
  if (gone.empty()) return 0;
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.endpoints.find(local);
  if (it == s.endpoints.end()) return 0;
  std::vector<MsgRange>& subs = it->second->subscribers;
  for (const std::string& name : gone) {
    msgLog("%s: subscriber %s is gone; dropping it", local, name.c_str());
    subs.erase(std::remove_if(subs.begin(), subs.end(), [&](const MsgRange& r) { return r.name == name; }), subs.end());
  }
  return 0;
}
