// The datagram side of an endpoint.
//
// Besides its listening stream socket (the file in the socket directory),
// every endpoint owns one AF_UNIX datagram socket, and small messages travel
// as single datagrams on it: one receive call takes whole messages, with no
// framing state per sender as a set of stream connections needs.
//
// The socket directory holds one file per endpoint and nothing else a peer
// could take for one, so the datagram sockets are files in its hidden
// subdirectory ".d", named after the inode of the endpoint's stream socket
// file (msgDatagramPath). Both directories are for the owner and group only
// (0770) and the files are 0660: another user cannot even connect, which an
// abstract name would not stop. The name is bound before the stream file is
// published and stays taken for as long as the endpoint lives. Senders
// connect a datagram socket of their own to that name once, so a message
// can never reach a later owner of the name: when the endpoint dies the
// connection fails instead. The receiver still checks the credentials that
// the kernel attaches to every datagram (SO_PASSCRED), should the
// directories have been opened up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>

// The largest frame sent as one datagram. Up to about 80 KiB the kernel
// builds a datagram from single pages; larger ones need one contiguous block
// of kernel memory, which a long-running device may not have. Larger frames
// go over the stream connection (msgSend.cpp).
constexpr size_t kMsgMaxDatagram = 64 * 1024;

// The directory of the datagram sockets of socket directory `dir`.
std::string msgDatagramDir(const std::string& dir);
// The datagram socket file of the endpoint in `dir` whose stream socket file
// has inode `ino` (all files of one directory share a device).
std::string msgDatagramPath(const std::string& dir, ino_t ino);
// Creates the endpoint's datagram socket at msgDatagramPath(dir, ino),
// passing credentials, mode 0660; a file left there by a dead process is
// replaced. -1 with errno set (EADDRINUSE: a live socket has the name).
int msgBindDatagram(const std::string& dir, ino_t ino);
// Removes the datagram socket files of `dir` that nobody is bound to any
// more: those of processes that died without closing their endpoints,
// which would otherwise pile up over months of restarts.
void msgSweepDatagrams(const std::string& dir);
// A datagram socket connected to that endpoint; the layer sends on it
// without waiting (msgSend.cpp). -1 with errno set (ECONNREFUSED or ENOENT:
// no such endpoint, or one that speaks streams only).
int msgConnectDatagram(const std::string& dir, ino_t ino);
// How many datagrams one receive takes at most. Two: a receive that fills
// both tells that the queue held more, so the next wait tries the socket
// before it sleeps (msgTakeIn.cpp); one that takes a single datagram needs
// no further call to learn that the queue is empty.
constexpr int kMsgDatagramBatch = 2;

// One datagram taken by msgRecvDatagrams.
struct MsgDatagramIn {
  // Its size (n + 1 for one longer than n, which is then cut short).
  size_t bytes;
  // The sender's credentials; a datagram without them gets pid 0 and uid
  // and gid -1, which no check allows.
  struct ucred cred;
};

// Receives, without waiting and in one system call, up to
// kMsgDatagramBatch queued datagrams, the i-th into buf + i * (n + 1),
// where n + 1 bytes each are room. Returns how many, or -1 with errno set
// (EAGAIN: none queued); 0 when the socket was shut down for reading.
int msgRecvDatagrams(int fd, uint8_t* buf, size_t n, MsgDatagramIn out[kMsgDatagramBatch]);
// The process of `cred` runs as our user or our group.
bool msgCredsAllowed(const struct ucred& cred);
