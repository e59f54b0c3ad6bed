#!/usr/bin/env python3
# Writes the hand-made seeds of policy_generator_fuzz's corpus,
# fuzz/corpus/policy_generator_fuzz/crafted-*: policies in every forwarding
# queue mode, the texts that are written as they stand and those that are
# refused, so that the corpus replay compares each mode's text, and each
# refusal, with the target's model.  The layout is the target's: a head
# byte (bit 0 local log, (head >> 1) % 6 servers, (head >> 4) % 4 the mode),
# then per server a flags byte (bits 0-3 enabled, health, system, security;
# bit 7 a protocol text of its own, else (flags >> 4) % 6 picks one of
# PROTOS) and its texts, each a length byte and characters stored minus one.
#
# usage: policy_generator_seeds.py fuzz/corpus/policy_generator_fuzz
import sys, os
PROTOS = ["tcp", "udp", "TCP", "", " tcp\t", "tls"]
MODES = [None, "disk", "memory", "none"]
def head(local, n, mode):
    for h in range(256):
        if (h & 1) == local and (h >> 1) % 6 == n and (h >> 4) % 4 == MODES.index(mode):
            return h
    raise ValueError
def text(t):
    b = t.encode('latin-1')
    assert len(b) < 16
    return bytes([len(b)]) + bytes([c - 1 for c in b])
def server(flags, proto, port, host):
    f = 0
    for ch, bit in zip("EHSC", (1, 2, 4, 8)):
        if ch in flags: f |= bit
    if proto in PROTOS:
        f |= PROTOS.index(proto) << 4
        return bytes([f]) + text(port) + text(host)
    return bytes([f | 0x80]) + text(proto) + text(port) + text(host)
def policy(local, mode, servers):
    return bytes([head(local, len(servers), mode)]) + b"".join(server(*s) for s in servers)
cases = {
  # Every mode: TCP, UDP over IPv6 in brackets, TLS by name, a protocol
  # in capitals, and texts a queue file name must make safe.
  "modes-disk": policy(1, None, [("EHSC", "tcp", "6514", "10.0.0.1"), ("EH", "udp", "514", "[2001:db8::1]"),
                                  ("EC", "tls", "6514", "log.example"), ("ES", "TCP", "1", "a"), ("EHC", "udp", "5 14", "x/y:z~")]),
  "modes-disk-named": policy(0, "disk", [("ESC", "tcp", "6514", "10.0.0.1"), ("EHSC", "tls", "10514", "[::1]")]),
  "modes-memory": policy(1, "memory", [("EHSC", "tcp", "6514", "10.0.0.1"), ("EH", "udp", "514", "[2001:db8::1]"),
                                        ("ESC", "tls", "6514", "log.example"), ("EC", "", "1", "b")]),
  "modes-none": policy(1, "none", [("EHSC", "tcp", "6514", "10.0.0.1"), ("EH", "udp", "514", "[2001:db8::1]"),
                                    ("EC", "tls", "6514", "log.example"), ("ES", "TCP", "1", "a"), ("EH", " tcp\t", "2", "b")]),
  # Written as they stand: a quote where no string is quoted, blanks and
  # other characters; a server that writes nothing may hold anything.
  "texts-none": policy(0, "none", [("EH", "udp", '5"14', 'a"b c~!'), ("HSC", "udp", "1\\", "a\nb"), ("E", "tcp", "1\n", "\\"),
                                    ("EH", "udp", "", ""), ("ES", "udp", "514", "caf\u00e9")]),
  "nothing-written": policy(0, "memory", [("HSC", "tcp", "1\\", '"'), ("E", "udp", '"', "a\nb"), ("EH", "udp", "1", "c")]),
  # Refusals: the first written server whose text would break out.
  "quote-memory": policy(0, "memory", [("EH", "udp", "514", "a\"b")]),
  "quote-disk-port": policy(1, None, [("ES", "tcp", "514", "ok"), ("EH", "tcp", '5"', "c")]),
  "quote-tls-none": policy(0, "none", [("EH", "udp", "1", 'a"'), ("EC", "tls", "6514", 'b"')]),
  "line-feed-none": policy(1, "none", [("EHSC", "tcp", "1", "ok"), ("EH", "udp", "514", "a\n*.* /x")]),
  "tab-port-none": policy(0, "none", [("ES", "udp", "1\t2", "a")]),
  "delete-memory": policy(0, "memory", [("EC", "udp", "1", "a\x7f")]),
  "backslash-disk": policy(0, "disk", [("E", "udp", "1", "x"), ("EHSC", "udp", "1\\", "a\\")]),
  "carriage-return-tls": policy(0, "none", [("EC", "tls", "1", "a\rb")]),
}
out = sys.argv[1]
for name, data in cases.items():
    open(os.path.join(out, "crafted-" + name), "wb").write(data)
