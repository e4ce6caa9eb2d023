#!/usr/bin/python3
"""The network's log server in the sealed simulation (started by
sim/logserver in the namespace "switch"):

  logserver.py ADDRESS DIR

- syslog on ADDRESS:514, UDP (one message a datagram) and TCP (one message
  a line, or octet-counted "LEN MSG"): each message is appended to
  DIR/syslog.log as "UDP <message>" or "TCP <message>", one a line;
- HTTP on ADDRESS:8080, POST or PUT:
    /upload  the body is stored as DIR/uploads/<n> (n = 1, 2, ...), one line
             "<n> <path> <bytes> ticket=<yes|no>" goes to DIR/uploads.log
             (whether an X-Web-Ticket header came, never its value); 200
    /fail    the body is read and answered 503
    /silent  the body is read and never answered (the client's time limit
             ends it)
  any other path: 404. Nothing listens on ADDRESS:8081: a refused
  connection.

It writes DIR/ready once every socket listens and runs until signalled.
"""
import os
import socket
import socketserver
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

SYSLOG_PORT = 514
HTTP_PORT = 8080
# A message longer than this is cut; a TCP line without an end is given up.
MAX_MESSAGE = 64 * 1024
MAX_UPLOAD = 64 * 1024 * 1024

lock = threading.Lock()


def append(path, data):
    with lock, open(path, "ab") as f:
        f.write(data)


class Syslog:
    def __init__(self, directory):
        self.path = os.path.join(directory, "syslog.log")

    def record(self, proto, message):
        message = message.rstrip(b"\r\n\0").replace(b"\n", b"\\n")
        append(self.path, proto + b" " + message[:MAX_MESSAGE] + b"\n")


def serve_udp(sock, syslog):
    while True:
        data, _ = sock.recvfrom(MAX_MESSAGE)
        syslog.record(b"UDP", data)


class TcpSyslog(socketserver.StreamRequestHandler):
    def handle(self):
        self.connection.settimeout(300)
        while True:
            head = self.rfile.readline(MAX_MESSAGE)
            if not head:
                return
            count, _, rest = head.partition(b" ")
            if count.isdigit() and 0 < int(count) <= MAX_MESSAGE:
                # Octet counting: LEN bytes in all, some of them on this line.
                want = int(count) - len(rest)
                if want > 0:
                    rest += self.rfile.read(want)
                self.server.syslog.record(b"TCP", rest)
            else:
                self.server.syslog.record(b"TCP", head)


class TcpServer(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


class Upload(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        sys.stderr.write("logserver: %s %s\n" % (self.address_string(), fmt % args))

    def body(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length < 0 or length > MAX_UPLOAD:
            raise ValueError("bad length")
        data = b""
        while len(data) < length:
            chunk = self.rfile.read(length - len(data))
            if not chunk:
                raise ValueError("short body")
            data += chunk
        return data

    def answer(self, code):
        self.send_response(code)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_POST(self):
        try:
            data = self.body()
        except ValueError:
            return self.answer(400)
        if self.path == "/upload":
            with lock:
                self.server.count += 1
                n = self.server.count
            with open(os.path.join(self.server.directory, "uploads", str(n)), "wb") as f:
                f.write(data)
            ticket = "yes" if self.headers.get("X-Web-Ticket") else "no"
            append(os.path.join(self.server.directory, "uploads.log"),
                   ("%d %s %d ticket=%s\n" % (n, self.path, len(data), ticket)).encode())
            return self.answer(200)
        if self.path == "/fail":
            return self.answer(503)
        if self.path == "/silent":
            # Holds the connection open, unanswered, until the server ends.
            while True:
                time.sleep(3600)
        return self.answer(404)

    do_PUT = do_POST


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: logserver.py ADDRESS DIR")
    address, directory = sys.argv[1], sys.argv[2]
    os.makedirs(os.path.join(directory, "uploads"), exist_ok=True)
    syslog = Syslog(directory)

    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind((address, SYSLOG_PORT))
    tcp = TcpServer((address, SYSLOG_PORT), TcpSyslog)
    tcp.syslog = syslog
    http = ThreadingHTTPServer((address, HTTP_PORT), Upload)
    http.daemon_threads = True
    http.directory = directory
    http.count = 0

    threads = [threading.Thread(target=serve_udp, args=(udp, syslog), daemon=True),
               threading.Thread(target=tcp.serve_forever, daemon=True),
               threading.Thread(target=http.serve_forever, daemon=True)]
    for t in threads:
        t.start()
    with open(os.path.join(directory, "ready"), "w") as f:
        f.write("%d\n" % os.getpid())
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    main()
