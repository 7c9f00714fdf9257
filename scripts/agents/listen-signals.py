#!/usr/bin/env python3
"""Listens where the saver would (HOME/.tolvera/live.sock) and writes each line it is sent.

    listen-signals.py SOCKET LOGFILE
"""
import os
import socket
import sys
import time

path, log = sys.argv[1], sys.argv[2]
os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
if os.path.exists(path):
    os.unlink(path)
server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
server.bind(path)
server.listen(16)
while True:
    peer, _ = server.accept()
    peer.settimeout(2)
    data = b""
    try:
        while not data.endswith(b"\n"):
            chunk = peer.recv(65536)
            if not chunk:
                break
            data += chunk
    except OSError:
        pass
    peer.close()
    with open(log, "a") as out:
        out.write("%.3f %s" % (time.time(), data.decode(errors="replace")))
