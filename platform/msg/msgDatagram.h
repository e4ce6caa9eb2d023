// The datagram side of an endpoint.
//
// Besides its listening stream socket (the file in the socket directory),
// every endpoint owns one AF_UNIX datagram socket, and small messages travel
// as single datagrams on it: a receive is then one blocking recvmsg(), where
// a set of stream connections needs a wait for readiness and a read.
//
// The socket directory must hold nothing but one file per endpoint, so the
// datagram socket is bound in the abstract namespace, under a name made from
// the identity (device, inode) of the endpoint's stream socket file. Only a
// process that may look into the 0770 directory learns the inode of a live
// endpoint; the name is bound before the file is published and stays taken
// for as long as the endpoint lives. Senders connect a datagram socket of
// their own to that name once, so a message can never reach a later owner of
// the name: when the endpoint dies the connection fails instead. Anyone in
// the network namespace can still send to the name, so the receiver checks
// the credentials that the kernel attaches to every datagram (SO_PASSCRED).
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/socket.h>
#include <sys/types.h>

// The largest frame sent as one datagram. Up to about 80 KiB the kernel
// builds a datagram from single pages; larger ones need one contiguous block
// of kernel memory, which a long-running device may not have. Larger frames
// go over the stream connection (msgSend.cpp).
constexpr size_t kMsgMaxDatagram = 64 * 1024;

// Creates the endpoint's datagram socket, bound to the name of the stream
// socket file (dev, ino), passing credentials. -1 with errno set.
int msgBindDatagram(dev_t dev, ino_t ino);
// A datagram socket connected to the endpoint whose stream socket file is
// (dev, ino); the layer sends on it without waiting (msgSend.cpp). -1 with errno set
// (ECONNREFUSED: no such endpoint, or one that speaks streams only).
int msgConnectDatagram(dev_t dev, ino_t ino);
// Sets SO_RCVTIMEO to us microseconds (> 0).
bool msgSetRecvTimeout(int fd, long us);
// Receives one datagram into buf (flags as for recvmsg). *cred gets the
// sender's credentials; a datagram without them gets pid 0 and uid and gid
// -1, which no check allows. Returns its size (n + 1 for one longer than n,
// which is then cut short), or -1 with errno set; 0 also when the socket was
// shut down for reading.
ssize_t msgRecvDatagram(int fd, uint8_t* buf, size_t n, int flags, struct ucred* cred);
// The process of `cred` runs as our user or our group.
bool msgCredsAllowed(const struct ucred& cred);
