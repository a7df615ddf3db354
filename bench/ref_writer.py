#!/usr/bin/env python3
"""The smallest writer of a correction table: opens the port raw, then for each of the 28
blocks sends its 10-byte WriteTableBlock frame and reads exactly the 2 bytes of its reply
(or, with --read, sends ReadTableBlock and reads exactly 10). No receive thread, no log, no
time-outs beyond a safety limit: the floor that korvanectl's transfer is compared against.

usage: bench/ref_writer.py PORT [BAUD] [--read]
prints: "write: 28 blocks in 181.3 ms" (the port already open, as korvanectl reports it)
"""
import os
import select
import sys
import termios
import time
import tty

BLOCKS = 28


def read_exactly(fd, n, limit_s=2.0):
    got = b""
    deadline = time.monotonic() + limit_s
    while len(got) < n:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            sys.exit(f"reply short: {got.hex()} of {n} bytes")
        got += os.read(fd, n - len(got))
    return got


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    read = "--read" in sys.argv
    port, baud = args[0], int(args[1]) if len(args) > 1 else 19200
    fd = os.open(port, os.O_RDWR | os.O_NOCTTY)
    try:
        tty.setraw(fd)
        attrs = termios.tcgetattr(fd)
        speed = getattr(termios, f"B{baud}")
        attrs[4] = attrs[5] = speed
        termios.tcsetattr(fd, termios.TCSANOW, attrs)
        termios.tcflush(fd, termios.TCIOFLUSH)
        start = time.monotonic()
        for k in range(BLOCKS):
            address = 32 + 8 * k
            if read:
                frame = bytes([0x07, address]) + bytes(8)
                read_exactly_n = 10
            else:
                frame = bytes([0x06, address]) + bytes((k * 8 + j) % 128 for j in range(8))
                read_exactly_n = 2
            os.write(fd, frame)
            reply = read_exactly(fd, read_exactly_n)
            if not read and reply != b"\r\n":
                sys.exit(f"block {k}: reply {reply.hex()}")
        ms = (time.monotonic() - start) * 1000
        print(f"{'read' if read else 'write'}: {BLOCKS} blocks in {ms:.1f} ms")
    finally:
        os.close(fd)


if __name__ == "__main__":
    main()
