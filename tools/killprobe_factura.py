#!/usr/bin/env python3
"""Kill probe for invoices: `wvestor-db factura` is killed (SIGKILL) at a random instant while it
stores an invoice of five lines, and the installation must stay sound for the next station.

Each round copies a prepared installation (demo catalogues and a few invoices already stored)
into a fresh directory, starts the store, and kills it after a time drawn uniformly between zero
and the time an unkilled store takes. Then:
  - every invoice stored before is there as it was, with exactly its lines;
  - no line names a number that no live header has, but the killed invoice's own (it may stand
    cut short: that is what it was writing); a record left blank by an append cut short may
    stand at the end, and is counted;
  - another station stores an invoice, under a number nobody has used;
  - then `check` passes on facturas, det_fact and the configuration table (the next writer gives
    a record whose append was cut short the keys it lacked).

  killprobe_factura.py --tool build/tools/wvestor-db --rounds 50

Exit status 1 when any round failed.
"""
import argparse
import collections
import csv
import io
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

LINES = ["1:1", "2:2", "3:1:999.50", "4:3", "1:1:10"]


def run(tool, *args, timeout=60):
    return subprocess.run([tool, *args], capture_output=True, text=True, timeout=timeout)


def must(tool, *args):
    r = run(tool, *args)
    if r.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(args), r.stderr.strip()))
    return r.stdout


def rows(tool, inst, table):
    """The live records of a table as dictionaries."""
    return list(csv.DictReader(io.StringIO(must(tool, "dump", os.path.join(inst, "datos", table)))))


def state(tool, inst):
    headers = {r["NUMERO"]: r for r in rows(tool, inst, "facturas")}
    lines = collections.defaultdict(list)
    for r in rows(tool, inst, "det_fact"):
        lines[r["NUMERO"]].append(tuple(v for k, v in r.items() if k != "_RECNO"))
    return headers, lines


def round_(tool, base, rng, duration, kill):
    work = tempfile.mkdtemp(prefix="wvkillfac.")
    inst = os.path.join(work, "inst")
    shutil.copytree(base, inst)
    fails = []
    try:
        before_headers, before_lines = state(tool, inst)
        started = time.monotonic()
        p = subprocess.Popen([tool, "factura", inst, "0002", *LINES],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if kill:
            time.sleep(rng.uniform(0, duration))
            p.send_signal(signal.SIGKILL)
        out, _ = p.communicate(timeout=60)
        took = time.monotonic() - started
        killed = p.returncode == -signal.SIGKILL
        if not killed and p.returncode != 0:
            fails.append("the store failed without a kill")
        headers, lines = state(tool, inst)
        for number, header in before_headers.items():
            if headers.get(number) != header:
                fails.append("invoice %s changed or lost" % number)
            if sorted(lines.get(number, [])) != sorted(before_lines[number]):
                fails.append("the lines of invoice %s changed" % number)
        # A record left blank by an append cut short may stand at the end: counted, not failed.
        blank = ("" in headers) + len(lines.get("", []))
        new = [n for n in headers if n not in before_headers and n]
        if len(new) > 1:
            fails.append("more than one new invoice: %s" % new)
        if not killed and (len(new) != 1 or len(lines.get(new[0], [])) != len(LINES)):
            fails.append("an unkilled store left %s" % new)
        stray = [n for n in lines if n not in headers and n not in before_headers and n]
        if len(stray) > 1 or (stray and new):
            fails.append("lines without their invoice: %s" % stray)
        # The next station stores its invoice under a number nobody has used.
        r = run(tool, "factura", inst, "0001", "1:1")
        if r.returncode != 0:
            fails.append("the next store failed: %s" % r.stderr.strip())
        else:
            number = r.stdout.strip()
            if number in headers or number in lines:
                fails.append("the next store reused %s" % number)
        # The next station's writes have given an abandoned append the keys it lacked.
        for table in ("datos/facturas", "datos/det_fact", "config/cfg"):
            r = run(tool, "check", os.path.join(inst, table))
            if r.returncode != 0:
                fails.append("check %s: %s" % (table, (r.stdout + r.stderr).strip()))
        return killed, fails, took, blank
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--rounds", type=int, default=20)
    ap.add_argument("--seed", type=int, default=None)
    a = ap.parse_args()
    seed = a.seed if a.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    base = tempfile.mkdtemp(prefix="wvkillfacbase.")
    try:
        inst = os.path.join(base, "inst")
        must(a.tool, "init", inst, "--demo")
        for customer in ("0001", "0002", "0003"):
            must(a.tool, "factura", inst, customer, "1:1", "2:1")
        killed, fails, duration, _ = round_(a.tool, inst, rng, 0, False)
        failed = len(fails) > 0
        for f in fails:
            print("unkilled round: %s" % f)
        kills = blanks = 0
        for n in range(a.rounds):
            killed, fails, _, blank = round_(a.tool, inst, rng, duration, True)
            kills += killed
            blanks += blank
            for f in fails:
                print("round %d (seed %d): %s" % (n + 1, seed, f))
            failed = failed or bool(fails)
        print("factura: %d rounds, %d killed mid-store, %d blank records left, %s (seed %d)"
              % (a.rounds, kills, blanks, "FAILED" if failed else "sound", seed))
        return 1 if failed else 0
    finally:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
