#!/usr/bin/env python3
"""Kill probe: wvestor-db is killed (SIGKILL) at a random instant of a command, and the table
must still be sound afterwards.

Each round copies a prepared table into a fresh directory: ID C(10), NOMBRE C(30),
IMPORTE N(12,2), NOTA M, with the tags ID, NOMBRE and IMPORTE FOR IMPORTE > 500, and every
memo naming its own record's ID. A command (import, update, pack, reindex; maintain — pack and
reindex in one swap, as the program's maintenance does —, zap, append and index when asked for) is started on it and killed after a time drawn uniformly between zero and
the time an unkilled run of that command takes (two such runs per kind come first; the shorter
counts, and they must pass every check too). Then another process must be able to append a
record, `check` must pass, the index must hold its three tags as they were, and the dump must
show that:
  - every memo belongs to its record and no ID is there twice;
  - every record that was there before is still there, in its place among the others and with
    its values (pack: every live one; the deleted ones are either all gone or all still there,
    deleted; zap: all or none);
  - import: the imported records form a prefix of the file imported;
  - update: each record named in the file has all its old values or all its new ones;
  - only TABLE.dbf, TABLE.cdx and TABLE.fpt are left in the directory.
After import or append, a record left blank by an append cut short may stand at the end; it is
counted, not failed. A command that was not killed must have done all its work.

The table for pack rounds gets its deletion marks written straight into the .dbf, right after
the seed import and before any tag exists (one `delete` process per record would take minutes);
the tags are created afterwards, so they are built from the marked records.

  killprobe.py --tool build/tools/wvestor-db --rounds 200 --kinds import,update,pack,reindex
  killprobe.py --tool build/tools/wvestor-db --rounds 5 --no-kill   (the probe checking itself)

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
import string
import struct
import subprocess
import sys
import tempfile
import time

TABLE = "ventas"
FIELDS = ["ID:C:10", "NOMBRE:C:30", "IMPORTE:N:12:2", "NOTA:M"]
TAGS = [["ID", "ID"], ["NOMBRE", "NOMBRE"], ["IMPORTE", "IMPORTE", "--for", "IMPORTE > 500"]]
NEW_TAG = ["EXTRA", "UPPER(NOMBRE)+ID"]
KINDS = ["import", "update", "pack", "reindex", "maintain", "zap", "append", "index"]
DEFAULT_KINDS = "import,update,pack,reindex"
# Rebuilding commands are quicker per record: their tables are larger, so that a kill falls
# mostly in their work rather than in the program's start.
SCALE = {"pack": 4, "reindex": 4, "maintain": 4, "index": 4}
LATE_ID = "Z000001"  # the record appended by another process after each kill
TIMEOUT = 120


def rid(n):
    return "R%06d" % n


def note(rng, ident, tag=""):
    # Mostly longer than one 64-byte memo block, some short.
    n = rng.randint(0, 40) if rng.random() < 0.3 else rng.randint(60, 400)
    filler = "".join(rng.choice(string.ascii_lowercase + "    ") for _ in range(n)).strip()
    return "nota de %s%s %s." % (ident, tag, filler)


def values(rng, ident, tag=""):
    """NOMBRE, IMPORTE, NOTA as dump shows them."""
    nombre = "nombre %d%s" % (rng.randint(0, 99999), tag)
    importe = "%.2f" % (rng.randint(0, 100000) / 100)
    return (nombre, importe, note(rng, ident, tag))


def write_csv(path, header, rows):
    with open(path, "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(header)
        w.writerows(rows)


def norm(*texts):
    """Tag name, key and FOR as compared: spaces and case do not count."""
    return tuple(t.replace(" ", "").upper() for t in texts)


class Fault(Exception):
    pass


class Tool:
    def __init__(self, path):
        self.path = path

    def run(self, cwd, *args, timeout=TIMEOUT):
        try:
            p = subprocess.run([self.path, *args], cwd=cwd, capture_output=True, text=True,
                               errors="replace", timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Fault("%s did not end within %ds" % (args[0], timeout))
        except OSError as e:
            raise Fault("cannot run %s: %s" % (self.path, e))
        return p.returncode, p.stdout, p.stderr

    def must(self, cwd, *args):
        rc, out, err = self.run(cwd, *args)
        if rc != 0:
            raise Fault("%s exited %d: %s" % (args[0], rc, (err or out).strip()[:200]))
        return out

    def has_update(self, cwd):
        rc, out, err = self.run(cwd, "update")
        return "unknown command" not in err


def read_dump(text):
    """Rows of `dump --all`: (recno, deleted, id, nombre, importe, nota)."""
    rows = list(csv.reader(io.StringIO(text)))
    if not rows or rows[0] != ["_RECNO", "_DELETED", "ID", "NOMBRE", "IMPORTE", "NOTA"]:
        raise Fault("dump: unexpected header %r" % (rows[:1],))
    out = []
    for r in rows[1:]:
        if len(r) != 6:
            raise Fault("dump: row with %d values: %r" % (len(r), r[:2]))
        out.append((int(r[0]), r[1] == "T", r[2], r[3], r[4], r[5]))
    return out


def mark_deleted(dbf, recnos):
    with open(dbf, "r+b") as f:
        head = f.read(12)
        _, hlen, rlen = struct.unpack("<IHH", head[4:12])
        for r in recnos:
            f.seek(hlen + (r - 1) * rlen)
            f.write(b"*")


class Kind:
    """One kind of killed command: its prepared table, the command and what may be after it."""

    def __init__(self, name, tool, base, rng, rows):
        self.name, self.tool, self.rng = name, tool, rng
        self.rows = rows = rows * SCALE.get(name, 1)
        self.dir = os.path.join(base, "prep-" + name)
        self.data = os.path.join(self.dir, "data")
        os.makedirs(self.data)
        seed = [(rid(n), *values(rng, rid(n))) for n in range(1, rows + 1)]
        path = os.path.join(self.dir, "seed.csv")
        write_csv(path, ["ID", "NOMBRE", "IMPORTE", "NOTA"], seed)
        tool.must(self.data, "create", TABLE, *FIELDS)
        tool.must(self.data, "import", TABLE, path)
        self.deleted = set()
        if name in ("pack", "maintain"):
            recnos = [r for r in range(1, rows + 1) if rng.random() < 0.5]
            mark_deleted(os.path.join(self.data, TABLE + ".dbf"), recnos)
            self.deleted = {rid(r) for r in recnos}
        for t in TAGS:
            tool.must(self.data, "index", TABLE, *t)
        tool.must(self.data, "check", TABLE)
        self.before = read_dump(tool.must(self.data, "dump", TABLE, "--all"))
        self.old = {r[2]: r for r in self.before}
        self.args = self.command(rows)
        self.duration = None

    def command(self, rows):
        rng, n = self.rng, self.name
        if n == "import":
            more = range(rows + 1, rows * 3 // 2 + 1)
            self.imported = [(rid(k), *values(rng, rid(k))) for k in more]
            path = os.path.join(self.dir, "more.csv")
            write_csv(path, ["ID", "NOMBRE", "IMPORTE", "NOTA"], self.imported)
            return ["import", TABLE, path]
        if n == "update":
            chosen = sorted(rng.sample(range(1, rows + 1), rows // 2))
            self.updated = {rid(r): values(rng, rid(r), " v2") for r in chosen}
            path = os.path.join(self.dir, "update.csv")
            write_csv(path, ["RECNO", "NOMBRE", "IMPORTE", "NOTA"],
                      [(r, *self.updated[rid(r)]) for r in chosen])
            return ["update", TABLE, path]
        if n == "append":
            self.imported = [(rid(rows + 1), *values(rng, rid(rows + 1)))]
            i, (nombre, importe, nota) = self.imported[0][0], self.imported[0][1:]
            return ["append", TABLE, "ID=" + i, "NOMBRE=" + nombre, "IMPORTE=" + importe,
                    "NOTA=" + nota]
        if n == "index":
            return ["index", TABLE, *NEW_TAG]
        if n == "maintain":
            return ["reindex", TABLE, "--pack"]
        return [n, TABLE]

    def run_round(self, rdir, delay):
        """Runs the command in a copy of the table, kills it after delay seconds (None: lets it
        finish). Returns (killed, seconds run, failures, blank records)."""
        data = os.path.join(rdir, "data")
        shutil.copytree(self.data, data)
        with open(os.path.join(rdir, "stderr"), "w") as err:
            start = time.monotonic()
            try:
                p = subprocess.Popen([self.tool.path, *self.args], cwd=data,
                                     stdout=subprocess.DEVNULL, stderr=err)
            except OSError as e:
                raise Fault("cannot run %s: %s" % (self.tool.path, e))
            if delay is not None:
                pause = start + delay - time.monotonic()
                if pause > 0:
                    time.sleep(pause)
                p.send_signal(signal.SIGKILL)  # harmless when it has already ended
            try:
                p.wait(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
                return False, TIMEOUT, ["%s did not end" % self.name], 0
            took = time.monotonic() - start
        killed = p.returncode == -signal.SIGKILL
        fails = []
        if not killed and p.returncode != 0:
            with open(os.path.join(rdir, "stderr")) as f:
                fails.append("%s exited %d: %s" % (self.name, p.returncode, f.read().strip()[:200]))
        blanks = 0
        try:
            blanks = self.verify(data, killed, fails)
        except Fault as e:
            fails.append(str(e))
        return killed, took, fails, blanks

    def verify(self, data, killed, fails):
        tool = self.tool
        late = (LATE_ID, "despues", "750.00", "nota de %s despues del corte." % LATE_ID)
        rc, out, err = tool.run(data, "append", TABLE, "ID=" + late[0], "NOMBRE=" + late[1],
                                "IMPORTE=" + late[2], "NOTA=" + late[3])
        if rc != 0:
            fails.append("append after the kill exited %d: %s" % (rc, err.strip()[:200]))
        rc, out, err = tool.run(data, "check", TABLE)
        if rc != 0:
            lines = (out + err).strip().splitlines() or ["exit %d" % rc]
            fails.append("check: " + lines[0][:200])
        # The tags themselves: check passes as well on an index that lost some.
        rc, out, err = tool.run(data, "keys", TABLE + ".cdx")
        tags = {norm(*(f.split("=", 1)[-1] for f in line.split("\t")[:3]))
                for line in out.splitlines()}
        want = {norm(t[0], t[1], t[3] if len(t) > 3 else "") for t in TAGS}
        extra = norm(*NEW_TAG, "")
        if self.name == "index" and (not killed or extra in tags):
            want.add(extra)
        if rc != 0:
            fails.append("keys: " + err.strip()[:200])
        elif tags != want:
            fails.append("the index holds the tags: " + " ".join(sorted(t[0] for t in tags)))
        rows = read_dump(tool.must(data, "dump", TABLE, "--all"))

        # Blank records: only one, left by an append cut short, just before the late one.
        blank = [i for i, r in enumerate(rows) if not any(r[2:])]
        allowed = self.name in ("import", "append") and killed
        tolerated = allowed and len(blank) == 1 and blank[0] == len(rows) - 2
        if blank and not tolerated:
            fails.append("blank record%s at %s" % ("s" * (len(blank) > 1),
                                                     ", ".join(str(rows[i][0]) for i in blank[:5])))
        rows = [r for r in rows if any(r[2:])]

        for r in rows:
            if not r[5].startswith("nota de %s " % r[2]):
                fails.append("record %d (%s): its memo reads %r" % (r[0], r[2], r[5][:30]))
                break
        twice = [i for i, c in collections.Counter(r[2] for r in rows).items() if c > 1]
        if twice:
            fails.append("IDs twice: %s" % ", ".join(sorted(twice)[:5]))
        if not rows or rows[-1][2:] != late or rows[-1][1]:
            fails.append("the record appended after the kill is not the last one")
        rows = [r for r in rows if r[2] != LATE_ID]

        old = [r for r in rows if r[2] in self.old]
        new = [r for r in rows if r[2] not in self.old]
        order = [r[2] for r in self.before]
        pos = {i: k for k, i in enumerate(order)}
        if [r[2] for r in old] != sorted((r[2] for r in old), key=pos.get):
            fails.append("the records are no longer in their order")

        # What may be left of the records that were there before.
        present = {r[2]: r for r in old}
        missing = [i for i in order if i not in present]
        if self.name == "zap":
            if present and missing:
                fails.append("zap left %d of %d records" % (len(present), len(order)))
            if not killed and present:
                fails.append("zap left the records")
        elif self.name in ("pack", "maintain"):
            gone = [i for i in missing if i not in self.deleted]
            if gone:
                fails.append("%d live records gone, first %s" % (len(gone), gone[0]))
            kept = [i for i in self.deleted if i in present]
            if kept and len(kept) != len(self.deleted):
                fails.append("pack removed %d of %d deleted records"
                             % (len(self.deleted) - len(kept), len(self.deleted)))
            if not killed and kept:
                fails.append("pack left the deleted records")
        elif missing:
            fails.append("%d records gone, first %s" % (len(missing), missing[0]))
        changed = []
        for i, r in present.items():
            was = self.old[i]
            if r[1] != was[1]:
                changed.append("%s %s its deletion mark" % (i, "got" if r[1] else "lost"))
            elif self.name == "update" and i in self.updated:
                if r[3:] != self.updated[i] and (r[3:] != was[3:] or not killed):
                    if r[3:] == was[3:]:
                        changed.append("%s not updated" % i)
                    else:
                        changed.append("%s has %s" % (i, "/".join(
                            "new" if v == u else "old" if v == w else "other"
                            for v, u, w in zip(r[3:], self.updated[i], was[3:]))))
            elif r[3:] != was[3:]:
                changed.append("%s changed" % i)
        if changed:
            fails.append("%d records wrong: %s" % (len(changed), "; ".join(sorted(changed)[:3])))

        # Records that were not there before: the imported ones, from the start of the file on.
        want = getattr(self, "imported", [])
        got = [(r[2], *r[3:]) for r in new]
        if got != want[:len(got)] or any(r[1] for r in new):
            fails.append("the new records are not the start of what was imported: %s"
                         % ", ".join(r[2] for r in new[:3]))
        elif not killed and len(got) != len(want):
            fails.append("%d of %d records imported" % (len(got), len(want)))

        left = sorted(f for f in os.listdir(data)
                      if f.lower() not in {TABLE + ext for ext in (".dbf", ".cdx", ".fpt")})
        if left:
            fails.append("left in the directory: " + ", ".join(left))
        return 1 if tolerated else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--tool", required=True, help="the wvestor-db program")
    ap.add_argument("--rounds", type=int, default=10, help="rounds per kind")
    ap.add_argument("--kinds", default=DEFAULT_KINDS, help="of " + ",".join(KINDS))
    ap.add_argument("--seed", type=int, help="for the random data and kill times")
    ap.add_argument("--rows", type=int, default=4000,
                    help="records in the table (%s)" % ", ".join(
                        "%s x%d" % kv for kv in SCALE.items()))
    ap.add_argument("--keep", action="store_true", help="keep the directories of failed rounds")
    ap.add_argument("--no-kill", action="store_true",
                    help="let every command finish (the probe's own checks must all pass)")
    a = ap.parse_args()
    kinds = [k for k in a.kinds.split(",") if k]
    for k in kinds:
        if k not in KINDS:
            ap.error("unknown kind %s (kinds: %s)" % (k, ",".join(KINDS)))
    if not os.access(a.tool, os.X_OK):
        ap.error("no program %s" % a.tool)
    seed = a.seed if a.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    tool = Tool(os.path.abspath(a.tool))
    base = tempfile.mkdtemp(prefix="wvestor-killprobe-")
    print("seed %d, %d rows, %d rounds per kind, in %s" % (seed, a.rows, a.rounds, base),
          flush=True)
    failed_any = False
    summary = []
    try:
        for name in kinds:
            if name == "update" and not tool.has_update(base):
                print("update: skipped, this wvestor-db has no update command", flush=True)
                summary.append("update   skipped (no update command)")
                continue
            try:
                kind = Kind(name, tool, base, rng, a.rows)
            except Fault as e:
                print("%-8s cannot prepare the table: %s" % (name, e), flush=True)
                summary.append("%-8s cannot prepare the table: %s" % (name, e))
                failed_any = True
                continue
            stats = collections.Counter()
            reasons = []
            started = time.monotonic()
            for n in range(-1, a.rounds + 1):
                # Rounds -1 and 0 let the command finish: they time it (the shorter run
                # counts), and every check must pass on them.
                unkilled = n <= 0
                if n == 1:
                    started = time.monotonic()
                rdir = tempfile.mkdtemp(prefix="%s-%03d-" % (name, max(n, 0)), dir=base)
                delay = None if unkilled or a.no_kill else rng.uniform(0, kind.duration)
                killed, took, fails, blanks = kind.run_round(rdir, delay)
                if unkilled:
                    kind.duration = min(took, kind.duration or took)
                    label = "  timing"
                else:
                    label = "%8d" % n
                    stats["rounds"] += 1
                    stats["killed"] += killed
                    stats["blank"] += blanks
                    stats["failed" if fails else "passed"] += 1
                when = "no kill" if delay is None else "kill at %.3fs" % delay
                state = "killed" if killed else "finished %.3fs" % took
                extra = ", blank record left" if blanks else ""
                print("%-8s %s %s (%s%s): %s" % (name, label, when, state, extra,
                                                "FAIL " + "; ".join(fails) if fails else "ok"),
                      flush=True)
                if fails:
                    failed_any = True
                    stats["unkilled failed"] += unkilled
                    if len(reasons) < 3:
                        reasons.append(("unkilled: " if unkilled else "") + fails[0])
                    if a.keep:
                        print("         kept %s" % rdir, flush=True)
                        continue
                shutil.rmtree(rdir)
            per = (time.monotonic() - started) / max(a.rounds, 1)
            summary.append("%-8s rounds %d, passed %d, failed %d, killed mid-run %d, "
                           "blank records %d, %.2fs a round (%d records, command %.3fs)%s%s" % (
                               name, stats["rounds"], stats["passed"], stats["failed"],
                               stats["killed"], stats["blank"], per, kind.rows, kind.duration,
                               ", UNKILLED RUNS FAILED %d" % stats["unkilled failed"]
                               if stats["unkilled failed"] else "",
                               "".join("\n           " + r for r in reasons)))
    finally:
        print("\nsummary (seed %d):" % seed)
        for line in summary:
            print("  " + line)
        if a.keep and failed_any:
            for d in sorted(os.listdir(base)):
                if d.startswith("prep-"):
                    shutil.rmtree(os.path.join(base, d))
            if not os.listdir(base):
                os.rmdir(base)
        else:
            shutil.rmtree(base)
    return 1 if failed_any else 0


if __name__ == "__main__":
    sys.exit(main())
