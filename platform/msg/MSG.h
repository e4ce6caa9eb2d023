// Message-passing library: named endpoints exchanging typed messages.
//
// Every process opens one or more local endpoints by name ("SystemSrvc",
// "ConfigSrvc", "ToVelar1/ProcessMon", "CE:Modman") and sends messages to
// remote endpoints by id. A message carries a 32-bit type, a sequence number,
// the sender and an opaque payload (a serialised protocol-buffer message).
//
// Results: 0 on success, non-zero on failure; calls returning a pointer return
// null on failure. No call aborts the process.
//
// Transport: each local endpoint is a listening AF_UNIX stream socket in one
// directory, "/dev/socket/msglayer" on the device or the directory named by
// the environment variable MSG_SOCKET_DIR (read when an endpoint is opened),
// plus a datagram socket named after that file. A message of up to about 64 KiB
// travels as one datagram; a larger one on a stream connection, in its place
// among the sender's messages. The directory is created with mode 0770; a
// sender must run as the same user or the same group, else its messages and
// connections are dropped. Names may hold "/" and ":"; they are escaped into
// one file name.
//
// Threads: every call may be made from any thread. While one thread waits in
// MSG_RecvAnyMsg, another may send a request and wait for its reply in
// MSG_RecvMsg on the same endpoint: the reply goes to that thread.
//
// Time-outs: -1 waits without limit, 0 only looks. A send to a peer that is
// busy elsewhere does not wait while the kernel's buffers for that peer have
// room (a few thousand small messages per sender); once they are full, a send
// that cannot go within 5 s fails. A send to a peer that is gone fails at
// once. Diagnostics go to stderr, prefixed with
// the MSG_DebugSetName name.
#pragma once

#include <cstdint>

typedef uint32_t MSG_Type;
typedef uint32_t MSG_Endpoint;

// Opaque message handle.
struct MSG_Message;

typedef void (*MSG_CallbackFunc)(void* pContext, const MSG_Message* msg);

// Handler registration record; the library copies it.
struct MSG_Callback {
  MSG_CallbackFunc pFunc;
  void* pContext;
  MSG_Type MsgTypeMin;
  MSG_Type MsgTypeMax;
  int bJustOnce;
};

// Largest payload one message can carry.
constexpr uint32_t MSG_MAX_PAYLOAD = 8u * 1024u * 1024u;

// Names this process in the library's own diagnostics.
int MSG_DebugSetName(const char* name);

// Opens (creates) the local endpoint `local`. Fails while a running process
// has an endpoint of that name; a socket left by a dead one is replaced.
int MSG_OpenLocal(const char* local);
// Closes the local endpoint; its name disappears for the other processes.
int MSG_CloseLocal(const char* local);

// Waits until `remote` exists and accepts connections (timeoutMs -1: no
// limit) and stores its id. Non-zero when the time runs out.
int MSG_OpenRemoteSync(const char* local, const char* remote, int timeoutMs, MSG_Endpoint* remoteId);
// Runs cb->pFunc(cb->pContext, nullptr) on the thread that next receives on
// `local` once `remote` exists, and again each time it closes and opens
// again. Never run inside MSG_RecvMsg, so a handler that waits for a reply
// is not re-entered; it runs before MSG_RecvAnyMsg returns a message.
// `flags` is reserved (0).
int MSG_OpenRemoteAsync(const char* local, const char* remote, const MSG_Callback* cb, int flags);
// The id of an existing remote endpoint, 0 when no such endpoint exists. Ids
// are per process and stay the same for a name, across restarts of the peer.
MSG_Endpoint MSG_GetRemoteId(const char* local, const char* remote);

// Messages of types in [MsgTypeMin, MsgTypeMax] received on `local` go to
// cb->pFunc when passed to MSG_ProcessCallback. Where ranges overlap, the
// handler registered first wins. With bJustOnce set it is removed after its
// first run.
int MSG_RegisterCallback(const char* local, const MSG_Callback* cb);
// Subscribes `local` to the notifications of `remote` in [min, max]. The
// subscription is remembered and renewed whenever `remote` opens again.
int MSG_RegisterNotificationRemote(const char* local, MSG_Type min, MSG_Type max, MSG_Endpoint remote);

// Process-wide, thread-safe, never 0.
uint32_t MSG_GetNextSequence();

// Null when `bytes` exceeds MSG_MAX_PAYLOAD or memory runs out.

MSG_Message* MSG_AllocMsg(MSG_Type type, uint32_t sequence, uint32_t bytes);
// A reply: same sequence as `request`, addressed to its sender. The sequence
// travels unchanged, so a requester can match a reply to its request by
// MSG_GetSequence (msgUtil_buildMsg and MSG_AllocMsg set it on the request).
MSG_Message* MSG_AllocMsgCopyHdr(const MSG_Message* request, MSG_Type type, uint32_t bytes);
MSG_Message* MSG_CloneMsg(const MSG_Message* msg);
void MSG_ReleaseMsg(MSG_Message* msg);

void* MSG_GetPayloadMutable(MSG_Message* msg);
const void* MSG_GetPayload(const MSG_Message* msg);
uint32_t MSG_GetPayloadBytes(const MSG_Message* msg);
MSG_Type MSG_GetType(const MSG_Message* msg);
MSG_Endpoint MSG_GetSender(const MSG_Message* msg);
uint32_t MSG_GetSequence(const MSG_Message* msg);

// Sends `msg` to `remote` (0: to the address a reply was given by
// MSG_AllocMsgCopyHdr). Takes ownership of `msg` whatever the result.
int MSG_SendMsg(const char* local, MSG_Endpoint remote, MSG_Message* msg);
// Sends `msg` to every subscriber of `local` whose range covers its type,
// after taking in the subscriptions that have already arrived. A subscriber
// that is gone is dropped; that is not a failure (nor is having none).
// Takes ownership of `msg`.
int MSG_SendNotification(const char* local, MSG_Message* msg);

// First message of `type` (timeoutMs -1: no limit); others that arrive
// meanwhile are kept, in order, for MSG_RecvAnyMsg. Null on time-out.
MSG_Message* MSG_RecvMsg(const char* local, MSG_Type type, int timeoutMs);
// Next message, or null when none came within timeoutMs (-1: no limit).
MSG_Message* MSG_RecvAnyMsg(const char* local, int timeoutMs);
// A null result of either receive sets errno:
//   ETIMEDOUT  the time ran out (after waiting timeoutMs);
//   EBADF      `local` is not open here: never opened, closed before the
//              call, or closed by another thread during the wait. This one
//              returns at once, whatever the time-out, and logs "endpoint
//              <name> is not open": a loop that receives on a closed endpoint
//              must do its own waiting, or it spins.
// Runs the registered handler for `msg`'s type, if any. Non-zero when none;
// the caller still owns (and releases) `msg` either way.
int MSG_ProcessCallback(const char* local, const MSG_Message* msg);
