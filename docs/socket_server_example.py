#!/usr/bin/env python3
"""A minimal link adapter with an ESC behind it, served on a Unix socket.

Run it, then point Tessaro at it:

    python3 docs/socket_server_example.py /tmp/tessaro-adapter.sock &
    tessaro-cli --device socket:/tmp/tessaro-adapter.sock info

The packet format is in docs/socket-link.md. The ESC answers link polls, its version
query and the settings query, and stores what a settings write sends. One client is
served at a time; when it hangs up the server waits for the next one. Ctrl-C ends it.
"""

import argparse
import os
import signal
import socket
import sys

REPORT_LENGTH = 65  # L: report id, count byte and up to 63 more bytes
MAX_REPORTS = 63  # input reports the client may take in one read
INPUT_REPORT_ID = 1

LINK_POLL = 0xE1
ESC_VERSION_QUERY = 0xE2
SETTINGS_QUERY = 0xE3
SETTINGS_WRITE = 0xF2
WRITE_END = 0xD1
CONNECT_REPORT = bytes([0xFD]) + b"CONN"
ADAPTER_VERSION_MARK = 0xD7

# Factory parameters of a family-3 ESC (the 14 bytes of its settings reply).
FAMILY3_PARAMS = bytes.fromhex("02020418E07C050003000004" "0504")


class Esc:
    def __init__(self, family, variant, version, params, adapter):
        self.family = family
        self.variant = variant
        self.version = version  # major, minor and three build fields
        self.params = bytearray(params)
        self.adapter = adapter  # major, minor and three build fields

    def adapter_version(self):
        major, minor, b5, b6, b7 = self.adapter
        return bytes([ADAPTER_VERSION_MARK, major, 0, minor, 0, b5, b6, b7])

    def answer(self, frame):
        """The ESC's reply to one frame, or None."""
        command = frame[0]
        if command == LINK_POLL:
            return bytes([LINK_POLL])
        if command == ESC_VERSION_QUERY:
            return bytes([self.variant, self.family, *self.version])
        if command == SETTINGS_QUERY:
            return bytes(self.params)
        if command == SETTINGS_WRITE and len(frame) >= 3 and frame[-1] == WRITE_END:
            self.params = bytearray(frame[1:-1])
        return None


def input_packets(payload):
    """Splits a reply into 'I' packets of at most L - 2 payload bytes each."""
    room = REPORT_LENGTH - 2
    for start in range(0, len(payload), room):
        chunk = payload[start:start + room]
        report = bytes([INPUT_REPORT_ID, len(chunk)]) + chunk
        yield b"I" + report.ljust(REPORT_LENGTH, b"\0")


def serve_client(conn, esc, verbose):
    conn.send(b"H" + REPORT_LENGTH.to_bytes(2, "big") + MAX_REPORTS.to_bytes(2, "big"))
    while True:
        packet = conn.recv(REPORT_LENGTH + 1)
        if not packet:
            return  # the client hung up
        tag, report = packet[:1], packet[1:]
        if len(report) != REPORT_LENGTH:
            continue
        if tag == b"C":
            if report[:5] == CONNECT_REPORT:
                for p in input_packets(esc.adapter_version()):
                    conn.send(p)
        elif tag == b"O":
            count = min(report[1], REPORT_LENGTH - 2)
            frame = report[2:2 + count]
            if not frame:
                continue
            reply = esc.answer(frame)
            if verbose:
                print("> " + frame.hex(" ").upper() +
                      ("  < " + reply.hex(" ").upper() if reply else ""), file=sys.stderr)
            if reply:
                for p in input_packets(reply):
                    conn.send(p)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("path", help="socket path to listen on")
    parser.add_argument("--family", type=int, default=3)
    parser.add_argument("--variant", type=int, default=1)
    parser.add_argument("--version", default="1.2.3.4.5",
                        help="ESC major.minor.b4.b5.b6 (default 1.2.3.4.5)")
    parser.add_argument("--params", default=FAMILY3_PARAMS.hex(),
                        help="stored parameter bytes in hex (default: family 3 factory set)")
    parser.add_argument("--adapter", default="1.5.20.12.1",
                        help="adapter major.minor.b5.b6.b7 (default 1.5.20.12.1)")
    parser.add_argument("--once", action="store_true", help="serve one client, then stop")
    parser.add_argument("--verbose", action="store_true", help="log frames on stderr")
    args = parser.parse_args()

    # A plain kill ends the server as Ctrl-C does, removing the socket file.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    esc = Esc(args.family, args.variant, [int(v) & 0xFF for v in args.version.split(".")],
              bytes.fromhex(args.params), [int(v) & 0xFF for v in args.adapter.split(".")])
    if os.path.exists(args.path):
        os.unlink(args.path)
    server = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
    server.bind(args.path)
    server.listen(1)
    # Scripts may wait for this line before starting the client.
    print("listening on " + args.path, flush=True)
    try:
        while True:
            conn, _ = server.accept()
            with conn:
                try:
                    serve_client(conn, esc, args.verbose)
                except (BrokenPipeError, ConnectionResetError):
                    pass
            if args.once:
                break
    except (KeyboardInterrupt, SystemExit):
        pass
    finally:
        server.close()
        os.unlink(args.path)


if __name__ == "__main__":
    main()
