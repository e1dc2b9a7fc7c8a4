#!/usr/bin/env python3
"""The least an MTConnect agent does, for scripts/demo: connect to an SHDR adapter on
127.0.0.1 (trying again until it listens), send one "* PING", and print every line the
adapter sends until it closes the connection.

    mtconnect_agent.py PORT [SECONDS TO WAIT FOR THE ADAPTER]
"""
import socket
import sys
import time

port = int(sys.argv[1])
patience = float(sys.argv[2]) if len(sys.argv) > 2 else 120.0
deadline = time.time() + patience
while True:
    try:
        agent = socket.create_connection(("127.0.0.1", port), timeout=1)
        break
    except OSError:
        if time.time() > deadline:
            print("no adapter listened on 127.0.0.1:%d" % port)
            sys.exit(1)
        time.sleep(0.2)
agent.settimeout(600)
agent.sendall(b"* PING\n")
received = b""
while True:
    chunk = agent.recv(4096)
    if not chunk:
        break
    received += chunk
sys.stdout.write(received.decode("ascii", "replace"))
