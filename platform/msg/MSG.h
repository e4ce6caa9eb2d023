// Message-passing library: named endpoints exchanging typed messages.
//
// Every process opens one or more local endpoints by name ("SystemSrvc",
// "ConfigSrvc", "ToVelar1/ProcessMon", "CE:Modman") and sends messages to
// remote endpoints by id. A message carries a 32-bit type, a sequence number,
// the sender and an opaque payload (a serialised protocol-buffer message).
//
// Results: 0 on success, non-zero on failure; calls returning a pointer return
// null on failure. No call aborts the process.
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

// Opens (creates) the local endpoint `local`.
int MSG_OpenLocal(const char* local);
// Closes the local endpoint; its name disappears for the other processes.
int MSG_CloseLocal(const char* local);

// Waits until `remote` exists (timeoutMs -1: no limit) and stores its id.
int MSG_OpenRemoteSync(const char* local, const char* remote, int timeoutMs, MSG_Endpoint* remoteId);
// Runs cb->pFunc(cb->pContext, nullptr) on the thread that next receives on
// `local` once `remote` exists, and again each time it closes and opens
// again. `flags` is reserved (0).
int MSG_OpenRemoteAsync(const char* local, const char* remote, const MSG_Callback* cb, int flags);
// The id of an existing remote endpoint, 0 when no such endpoint exists.
MSG_Endpoint MSG_GetRemoteId(const char* local, const char* remote);

// Messages of types in [MsgTypeMin, MsgTypeMax] received on `local` go to
// cb->pFunc when passed to MSG_ProcessCallback.
int MSG_RegisterCallback(const char* local, const MSG_Callback* cb);
// Subscribes `local` to the notifications of `remote` in [min, max].
int MSG_RegisterNotificationRemote(const char* local, MSG_Type min, MSG_Type max, MSG_Endpoint remote);

uint32_t MSG_GetNextSequence();

MSG_Message* MSG_AllocMsg(MSG_Type type, uint32_t sequence, uint32_t bytes);
// A reply: same sequence as `request`, addressed to its sender.
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
// Sends `msg` to every subscriber of `local` whose range covers its type.
// Takes ownership of `msg`.
int MSG_SendNotification(const char* local, MSG_Message* msg);

// First message of `type` (timeoutMs -1: no limit); others that arrive
// meanwhile are kept, in order, for MSG_RecvAnyMsg. Null on time-out.
MSG_Message* MSG_RecvMsg(const char* local, MSG_Type type, int timeoutMs);
// Next message, or null when none came within timeoutMs (-1: no limit).
MSG_Message* MSG_RecvAnyMsg(const char* local, int timeoutMs);
// Runs the registered handler for `msg`'s type, if any. Non-zero when none.
int MSG_ProcessCallback(const char* local, const MSG_Message* msg);
