#!/usr/bin/env python3
"""Writes exactly N bytes of service-log text to stdout: lines with a rising
time stamp, a level, a component, a request id and one of a few dozen message
forms with varying numbers, names and addresses. Such text compresses about
as well as real logs do (zlib about 4.5 times), and the same N always gives
the same bytes.

    make_log_text.py N > file
"""
import random
import sys

LEVELS = ["INFO"] * 12 + ["DEBUG"] * 6 + ["WARN"] * 2 + ["ERROR"]
COMPONENTS = ["http.server", "db.pool", "auth", "cache", "scheduler", "storage.blob", "mailer",
              "search.index", "billing", "api.gateway", "worker.queue", "metrics"]
USERS = ["alice", "bob", "carol", "dave", "erin", "frank", "grace", "heidi", "ivan", "judy",
         "mallory", "oscar", "peggy", "trent", "victor", "walter"]
PATHS = ["/api/v1/orders", "/api/v1/users", "/api/v2/search", "/static/app.js", "/login",
         "/api/v1/invoices", "/health", "/api/v2/reports/daily", "/upload", "/api/v1/cart"]
METHODS = ["GET"] * 6 + ["POST"] * 3 + ["PUT", "DELETE"]
STATUS = [200] * 20 + [201, 204, 301, 304, 400, 401, 403, 404, 404, 500, 502, 503]

FORMS = [
    lambda r: "%s %s %d %dms bytes=%d user=%s" % (r.choice(METHODS), r.choice(PATHS), r.choice(STATUS),
                                                   r.randint(1, 900), r.randint(0, 200000), r.choice(USERS)),
    lambda r: "connection %d acquired from pool (active=%d idle=%d waiting=%d)" % (
        r.randint(1, 64), r.randint(0, 64), r.randint(0, 32), r.randint(0, 8)),
    lambda r: "query completed in %d.%03d s rows=%d table=%s" % (
        r.randint(0, 3), r.randint(0, 999), r.randint(0, 5000), r.choice(["orders", "users", "items", "events"])),
    lambda r: "cache %s key=%s:%08x ttl=%d" % (r.choice(["hit", "hit", "hit", "miss", "evict"]),
                                                r.choice(["session", "user", "page", "token"]),
                                                r.getrandbits(32), r.choice([60, 300, 3600, 86400])),
    lambda r: "user %s logged in from %d.%d.%d.%d" % (r.choice(USERS), r.randint(10, 192), r.randint(0, 255),
                                                      r.randint(0, 255), r.randint(1, 254)),
    lambda r: "job %s finished status=%s duration=%dms retries=%d" % (
        r.choice(["cleanup", "reindex", "backup", "digest", "rollup"]), r.choice(["ok", "ok", "ok", "failed"]),
        r.randint(5, 60000), r.randint(0, 3)),
    lambda r: "stored object %032x size=%d in bucket %s" % (r.getrandbits(128), r.randint(100, 10000000),
                                                            r.choice(["media", "backups", "exports"])),
    lambda r: "sent mail to %s@example.com template=%s queue_delay=%dms" % (
        r.choice(USERS), r.choice(["welcome", "reset", "invoice", "digest"]), r.randint(0, 5000)),
    lambda r: "gc pause %dms heap=%dMB/%dMB" % (r.randint(1, 250), r.randint(100, 4000), 4096),
    lambda r: "upstream %s timed out after %dms, retrying (%d/3)" % (
        r.choice(["payments", "inventory", "geo", "recommendations"]), r.choice([1000, 2000, 5000]),
        r.randint(1, 3)),
]


def log_lines(seed):
    r = random.Random(seed)
    seconds = 1700000000
    while True:
        seconds += r.randint(0, 2)
        day, rest = divmod(seconds, 86400)
        hour, rest = divmod(rest, 3600)
        minute, second = divmod(rest, 60)
        yield "2024-%02d-%02dT%02d:%02d:%02d.%03dZ %-5s [%s] req=%08x %s\n" % (
            1 + day // 28 % 12, 1 + day % 28, hour, minute, second, r.randint(0, 999), r.choice(LEVELS),
            r.choice(COMPONENTS), r.getrandbits(32), r.choice(FORMS)(r))


def main():
    wanted = int(sys.argv[1])
    out = sys.stdout.buffer
    lines = log_lines(20240101)
    written = 0
    while written < wanted:
        block = "".join(next(lines) for _ in range(20000)).encode("ascii")
        block = block[:wanted - written]
        out.write(block)
        written += len(block)


if __name__ == "__main__":
    main()
