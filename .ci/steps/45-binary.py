"""The two binary sessions of the real data against their folders' facts.

45-binary.py REAL LX SCRATCH: MoTeC LD (channels.csv names, units and rates,
the four full laps at the logger's times and within 0.02 s by samples, no
position; written again as LD, the header, event, venue, vehicle and channel
list field by field and every channel's samples) and iRacing telemetry (its
scalar channels with their units at 60 Hz, one lap of 56.167 s and about
1,196 m). Prints FAIL lines; exits 1 on any.
"""
import csv
import os
import re
import struct
import subprocess
import sys

real, lx, scratch = sys.argv[1:4]
failed = []


def fail(what):
    failed.append(what)
    print("FAIL " + what)


def run(*args):
    done = subprocess.run([lx, *args], capture_output=True, text=True)
    if done.returncode != 0:
        fail("lx " + " ".join(args) + ": " + done.stderr.strip())
    return done.stdout


def number(text):
    try:
        float(text)
        return True
    except ValueError:
        return False


def info(path, titles):
    """Format, rate, {title: unit} for the given titles, and laps (time, samples)."""
    text = run("info", path)
    fmt = re.search(r"^File: .* \((.*)\)$", text, re.M)
    rate = re.search(r"^Sample rate: (\S+)", text, re.M)
    units, laps = {}, []
    for line in text.splitlines():
        m = re.match(r"^\s+\d+  (.*)$", line)
        if m:
            for title in sorted(titles, key=len, reverse=True):  # "G Force Lat - Mid" first
                if m.group(1).startswith(title + " "):
                    tokens = m.group(1)[len(title):].split()
                    if tokens and not number(tokens[-1]):
                        tokens.pop()
                    units[title] = " ".join(tokens[:-2])
                    break
        m = re.match(r"^\s+(\d+)  (\d+:\d\d\.\d\d\d)\s+(\d+)\s+-?\d+$", line)
        if m:
            minutes, seconds = m.group(2).split(":")
            laps.append((int(minutes) * 60 + float(seconds), int(m.group(3))))
    return (fmt.group(1) if fmt else "", float(rate.group(1)) if rate else 0, units, laps,
            "East" in text.split())


# ---- MoTeC LD ----------------------------------------------------------------

def text(b, at, size):
    return b[at:at + size].split(b"\0")[0].rstrip(b" ").decode("latin-1")


def ld_fields(path):
    """The header's texts and numbers and the channel list, by name."""
    b = open(path, "rb").read()
    f = {"date": text(b, 94, 16), "time": text(b, 126, 16), "driver": text(b, 158, 64),
         "vehicle": text(b, 222, 64), "venue": text(b, 350, 64),
         "short comment": text(b, 1572, 64), "device type": text(b, 74, 8),
         "device serial": struct.unpack_from("<I", b, 70)[0],
         "device version": struct.unpack_from("<H", b, 82)[0],
         "channel count": struct.unpack_from("<I", b, 86)[0]}
    event = struct.unpack_from("<I", b, 36)[0]
    f.update({"event": text(b, event, 64), "session": text(b, event + 64, 64),
              "event comment": text(b, event + 128, 1024)})
    venue = struct.unpack_from("<H", b, event + 1152)[0]
    f["venue name"] = text(b, venue, 64)
    vehicle = struct.unpack_from("<H", b, venue + 1098)[0]
    f.update({"vehicle id": text(b, vehicle, 64), "vehicle name": text(b, vehicle + 64, 64),
              "vehicle weight": struct.unpack_from("<I", b, vehicle + 192)[0],
              "vehicle type": text(b, vehicle + 196, 32),
              "vehicle comment": text(b, vehicle + 228, 32)})
    channels, at = [], struct.unpack_from("<I", b, 8)[0]
    while at and len(channels) < 10000:
        _, nxt, data, count, _, code, size, rate, shift, mul, scale, dec = \
            struct.unpack_from("<IIIIHHHHhhhh", b, at)
        channels.append({"name": text(b, at + 32, 32), "short name": text(b, at + 64, 8),
                         "unit": text(b, at + 72, 12), "rate": rate, "samples": count,
                         "type": code, "size": size, "shift": shift, "mul": mul,
                         "scale": scale, "decimals": dec,
                         "data": b[data:data + count * size]})
        at = nxt
    return f, channels


def check_ld():
    folder = os.path.join(real, "motec-ld-calder-park")
    path = os.path.join(folder, "Sample1.ld")
    if not os.path.exists(path):
        return
    rows = list(csv.DictReader(open(os.path.join(folder, "channels.csv"))))
    fmt, rate, units, laps, east = info(path, [r["name"] for r in rows])
    if fmt != "MoTeC LD" or rate != 100:
        fail(f"Sample1.ld: format {fmt!r}, rate {rate}")
    for r in rows:
        if units.get(r["name"]) != r["unit"]:
            fail(f"Sample1.ld: channel {r['name']} unit {units.get(r['name'])!r}, not {r['unit']!r}")
    if east:
        fail("Sample1.ld: a position channel in a file without positions")
    want = [r for r in csv.DictReader(open(os.path.join(folder, "laps.csv"))) if r["kind"] == "full lap"]
    if len(laps) != len(want) + 2:
        fail(f"Sample1.ld: {len(laps)} laps, not {len(want) + 2}")
    for r in want:
        lap = int(r["lap"])
        time, samples = laps[lap] if lap < len(laps) else (0, 0)
        logger = float(r["logger_lap_time_s"])
        if f"{time:.3f}" != f"{logger:.3f}" or abs(samples / rate - logger) > 0.02:
            fail(f"Sample1.ld lap {lap + 1}: {time:.3f} s, {samples} samples; logger {logger:.3f} s")
    written = os.path.join(scratch, "Sample1-again.ld")
    run("convert", path, "--to", "ld", "-o", written)
    a, ca = ld_fields(path)
    b, cb = ld_fields(written)
    for key in a:
        if a[key] != b.get(key):
            fail(f"Sample1.ld written again: {key} {b.get(key)!r}, not {a[key]!r}")
    by_name = {c["name"]: c for c in cb}
    for c in ca:
        d = by_name.get(c["name"], {})
        for key in c:
            if c[key] != d.get(key):
                fail(f"Sample1.ld written again: channel {c['name']} {key} differs")
    for r, c in zip(rows, ca):
        if (r["name"], int(r["rate_hz"]), r["short_name"].rstrip()) != (c["name"], c["rate"], c["short name"]):
            fail(f"Sample1.ld: channel list {c['name']} against channels.csv")
    print(f"Sample1.ld: {len(rows)} channels, {len(want)} full laps, {len(a)} header fields and "
          f"{len(ca)} channels written again the same" if not failed else "")


# ---- iRacing telemetry -------------------------------------------------------

CONVERTED = {"m/s": "km/h", "m/s^2": "g", "m/s2": "g"}


def check_ibt():
    folder = os.path.join(real, "iracing-ibt-redbull-ring")
    path = os.path.join(folder, "amg.ibt")
    if not os.path.exists(path):
        return
    rows = [r for r in csv.DictReader(open(os.path.join(folder, "channels.csv"))) if r["count"] == "1"]
    fmt, rate, units, laps, east = info(path, [r["name"] for r in rows])
    if fmt != "iRacing telemetry" or rate != 60:
        fail(f"amg.ibt: format {fmt!r}, rate {rate}")
    if len(units) < 40:
        fail(f"amg.ibt: {len(units)} of its scalar channels kept")
    for r in rows:
        if r["name"] in units and units[r["name"]] != CONVERTED.get(r["unit"], r["unit"]):
            fail(f"amg.ibt: channel {r['name']} unit {units[r['name']]!r}, file {r['unit']!r}")
    if laps != [(56.167, 3371)]:
        fail(f"amg.ibt: laps {laps}, not one of 56.167 s and 3371 samples")
    length = re.search(r"^\s+1\s+0:56\.167\s+(\S+)", run("laps", path), re.M)
    if not east or not length or abs(float(length.group(1)) - 1196) > 5:
        fail(f"amg.ibt: lap length {length.group(1) if length else '?'} m, not about 1,196 m")
    print(f"amg.ibt: {len(units)} scalar channels with their units at 60 Hz, one lap of 56.167 s")


check_ld()
check_ibt()
sys.exit(1 if failed else 0)
