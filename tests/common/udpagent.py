#!/usr/bin/env python3
"""A small SNMP v2c agent on 127.0.0.1 for the tests of the remote walk: an interface table
served through GetNext and GetBulk, well or badly as the mode says.

Prints "PORT <n>" once it listens. Text datagrams steer it and are answered in text:
  STEP     the counters take one step
  HELD     how many requests are held (mode hold)
  SERVED   how many requests have been answered
  RELEASE  answers the held requests
It stops by itself after --lifetime seconds.
"""
import argparse
import select
import socket
import sys
import time

IF_ENTRY = (1, 3, 6, 1, 2, 1, 2, 2, 1)
IFX_ENTRY = (1, 3, 6, 1, 2, 1, 31, 1, 1, 1)
INTEGER, OCTETS, NULL, OID, SEQUENCE = 0x02, 0x04, 0x05, 0x06, 0x30
COUNTER32, COUNTER64 = 0x41, 0x46
NO_SUCH_INSTANCE, END_OF_MIB_VIEW = 0x81, 0x82
GET_NEXT, RESPONSE, GET_BULK = 0xA1, 0xA2, 0xA5
MAX_DATAGRAM = 65000


def tlv(tag, body):
    n = len(body)
    if n < 0x80:
        head = bytes([n])
    else:
        size = n.to_bytes((n.bit_length() + 7) // 8, 'big')
        head = bytes([0x80 | len(size)]) + size
    return bytes([tag]) + head + body


def integer(tag, value):
    return tlv(tag, value.to_bytes(value.bit_length() // 8 + 1, 'big', signed=value < 0))


def oid(arcs):
    body = bytearray([40 * arcs[0] + arcs[1]])
    for arc in arcs[2:]:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.append(0x80 | (arc & 0x7F))
            arc >>= 7
        body += bytes(reversed(chunk))
    return tlv(OID, bytes(body))


def value(kind, v):
    if kind == OCTETS:
        return tlv(OCTETS, v)
    if kind in (NULL, NO_SUCH_INSTANCE, END_OF_MIB_VIEW):
        return tlv(kind, b'')
    return integer(kind, v)


def parse(data, at=0):
    """One TLV at `at`: (tag, body, next position)."""
    tag, n = data[at], data[at + 1]
    at += 2
    if n & 0x80:
        count = n & 0x7F
        n = int.from_bytes(data[at:at + count], 'big')
        at += count
    return tag, data[at:at + n], at + n


def children(body):
    at = 0
    while at < len(body):
        tag, inner, at = parse(body, at)
        yield tag, inner


def decode_oid(body):
    arcs = [body[0] // 40, body[0] % 40]
    arc = 0
    for b in body[1:]:
        arc = (arc << 7) | (b & 0x7F)
        if not b & 0x80:
            arcs.append(arc)
            arc = 0
    return tuple(arcs)


class Table:
    """The columns served, each a base name and a function from row (1-based) to value."""

    def __init__(self, args):
        self.args = args
        self.steps = 0
        self.serial = 0
        rows = args.rows
        m = args.mode
        wrong = {  # mode wrongtypes: row -> (kind, value) per column
            2: {1: (OCTETS, b'a'), 2: (INTEGER, 5), 3: (OCTETS, b'c')},
            10: {1: (COUNTER32, 10), 2: (OCTETS, b'x'), 3: (NULL, None)},
            16: {1: (COUNTER32, 20), 2: (COUNTER64, 30), 3: (NO_SUCH_INSTANCE, None)},
        }
        self.columns = []
        for column in (2, 10, 16):
            if m == 'wrongtypes':
                f = (lambda c: lambda r: wrong[c][r])(column)
            elif column == 2:
                descr = b'x' * 65000 if m == 'bigstring' else None
                f = (lambda d: lambda r: (OCTETS, d or b'if%d' % r))(descr)
            else:
                f = (lambda c: lambda r: (COUNTER32, self.counter32(c, r)))(column)
            self.columns.append((IF_ENTRY + (column,), 3 if m == 'wrongtypes' else rows, f))
        if not args.no_hc and m != 'wrongtypes':
            for column, low in ((6, 10), (10, 16)):
                self.columns.append((IFX_ENTRY + (column,), rows,
                                     (lambda l: lambda r: (COUNTER64, self.counter64(l, r)))(low)))

    def counter32(self, column, row):
        if self.args.mode == 'hold':
            return self.serial
        if self.args.frozen32:
            return 7
        return (self.args.start32 + row + self.step(column)) % 2**32

    def counter64(self, column, row):
        if self.args.mode == 'hold':
            return self.serial
        return (self.args.start64 + row + self.step(column)) % 2**64

    def step(self, column):
        # The out-octets column moves twice as fast, so the two are never confused.
        return self.steps * self.args.step * (2 if column == 16 else 1)

    def next(self, name):
        """The binding after `name`: (name, kind, value)."""
        for base, rows, f in self.columns:
            if name < base + (1,):
                row = 1
            elif name[:len(base)] == base:
                row = name[len(base)] + 1
            else:
                continue
            if self.args.mode == 'nonincreasing' and row > 2:
                row = 1  # goes back instead of on
            if row <= rows:
                kind, v = f(row)
                return base + (row,), kind, v
        return name, END_OF_MIB_VIEW, None


def answer(table, request):
    _, message, _ = parse(request)
    parts = list(children(message))
    version, community, (kind, pdu) = parts[0][1], parts[1][1], parts[2]
    fields = list(children(pdu))
    request_id = int.from_bytes(fields[0][1], 'big', signed=True)
    names = [decode_oid(list(children(vb))[0][1]) for _, vb in children(fields[3][1])]
    table.serial += 1
    repetitions = 1
    if kind == GET_BULK:
        repetitions = max(1, int.from_bytes(fields[2][1], 'big', signed=True))
    mode = table.args.mode
    bindings = []
    if mode == 'manyvarbinds':  # far more than asked, of one column
        name, size = names[0], 0
        while size < MAX_DATAGRAM - 200:
            name, k, v = table.next(name)
            if k == END_OF_MIB_VIEW:
                name = IF_ENTRY + (2,)
            bindings.append(tlv(SEQUENCE, oid(name) + value(k, v)))
            size += len(bindings[-1])
    else:
        size = 0
        for _ in range(repetitions):
            following = []
            for name in names:
                name, k, v = table.next(name)
                binding = tlv(SEQUENCE, oid(name) + value(k, v))
                if bindings and size + len(binding) > MAX_DATAGRAM - 200:
                    break  # as much as one datagram holds
                bindings.append(binding)
                size += len(binding)
                following.append(name)
            if len(following) < len(names):
                break
            names = following
        if mode == 'truncated' and table.serial == 1:
            bindings = bindings[:5]  # one row whole and the next in part
    body = (integer(INTEGER, request_id) + integer(INTEGER, 0) + integer(INTEGER, 0) +
            tlv(SEQUENCE, b''.join(bindings)))
    return tlv(SEQUENCE, tlv(INTEGER, version) + tlv(OCTETS, community) + tlv(RESPONSE, body))


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--mode', default='normal',
                   choices=['normal', 'hold', 'silence', 'nonincreasing', 'wrongtypes',
                            'bigstring', 'manyvarbinds', 'truncated'])
    p.add_argument('--community', default='public')
    p.add_argument('--rows', type=int, default=3)
    p.add_argument('--no-hc', action='store_true', help='no ifXTable octet counters')
    p.add_argument('--frozen32', action='store_true', help='32-bit octet counters stand still')
    p.add_argument('--start32', type=int, default=0)
    p.add_argument('--start64', type=int, default=0)
    p.add_argument('--step', type=int, default=1000)
    p.add_argument('--lifetime', type=float, default=300)
    args = p.parse_args()

    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(('127.0.0.1', 0))
    print('PORT %d' % s.getsockname()[1], flush=True)
    table = Table(args)
    held = []
    end = time.monotonic() + args.lifetime
    while time.monotonic() < end:
        if not select.select([s], [], [], 0.5)[0]:
            continue
        data, peer = s.recvfrom(65535)
        if not data:
            continue
        if data[0] != SEQUENCE:
            command = data.strip()
            reply = b'OK'
            if command == b'STEP':
                table.steps += 1
            elif command == b'HELD':
                reply = b'%d' % len(held)
            elif command == b'SERVED':
                reply = b'%d' % table.serial
            elif command == b'RELEASE':
                for request, sender in held:
                    s.sendto(answer(table, request), sender)
                held.clear()
            s.sendto(reply, peer)
            continue
        try:
            _, message, _ = parse(data)
            community = list(children(message))[1][1]
        except (IndexError, ValueError):
            continue
        if args.mode == 'silence' or community != args.community.encode():
            continue
        if args.mode == 'truncated' and table.serial > 0:
            continue  # silent after its first answer
        if args.mode == 'hold':
            held.append((data, peer))
            continue
        s.sendto(answer(table, data), peer)


if __name__ == '__main__':
    sys.exit(main())
