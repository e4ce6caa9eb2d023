// Socket side of the message layer: where endpoints live in the file system,
// how their listening sockets appear, and how bytes go out without blocking
// for ever.
//
// Every local endpoint is one listening AF_UNIX stream socket, a file in one
// directory (MSG_SOCKET_DIR on a host, "/dev/socket/msglayer" on the
// device), with a datagram socket named after that file (msgDatagram.h).
// Endpoint names may hold "/" and ":", so a name is escaped into a single
// file name: "%" -> "%25", "/" -> "%2F", and a leading "." -> "%2E" so that
// no endpoint can collide with the hidden names used while a socket is being
// set up.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <sys/uio.h>
#include <sys/un.h>

using MsgClock = std::chrono::steady_clock;

// The socket directory this process uses now.
std::string msgSocketDir();

// The address of a socket file; false when the path is too long for one.
bool msgFillAddress(const std::string& path, struct sockaddr_un* sa);
// Creates the socket directory and its datagram directory (mode 0770 each)
// when missing, and sweeps stale datagram sockets (msgSweepDatagrams); -1
// when one cannot be created or is not a directory.
int msgEnsureDir(const std::string& dir);

// The file name of an endpoint; empty when the name is empty or too long.
std::string msgEscapeName(const std::string& name);
// The endpoint name of a file name; false for a file that no endpoint makes.
bool msgUnescapeName(const std::string& file, std::string* name);
// The socket path of endpoint `name` in `dir`; false (with a log line) when
// the name is invalid or the path does not fit a socket address.
bool msgSocketPath(const std::string& dir, const std::string& name, std::string* path);

// Creates a listening socket published at `path`, with its datagram socket
// (msgDatagram.h): both are set up under a hidden temporary name first and
// then the file is renamed into place, so no peer ever finds an endpoint that
// does not receive yet. A file left at `path` by a dead process is replaced;
// a live endpoint there makes this fail. Returns the non-blocking listening
// descriptor, the datagram socket and the file's identity, or -1.
int msgListen(const std::string& dir, const std::string& path, int* dgramFd, dev_t* dev, ino_t* ino);
// Connects to the endpoint at `path` (bounded by the send time-out when its
// backlog is full). Returns a non-blocking descriptor, or -1 with errno set.
int msgConnect(const std::string& path);
// The peer of an accepted connection runs as our user or our group; *pid
// gets its process id.
bool msgPeerAllowed(int fd, pid_t* pid);
// Writes the whole of iov before `deadline`; false on error or time-out
// (errno tells which), possibly after part of it went out.
bool msgWriteAll(int fd, const struct iovec* iov, int iovcnt, MsgClock::time_point deadline, size_t* written);
