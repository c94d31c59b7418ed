#!/usr/bin/env python3
"""Times Brimvale's work against the tools that do the same work, each side as a whole process.

Every timed command runs under /usr/bin/time (for its peak memory) with a warm cache; the commands of one
piece of work take turns going first from round to round, and each figure is the median of the rounds.
The closing table has one row per comparison: work, ours, peer, ratio, target.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

THREADS = os.cpu_count() or 8


class Bench:
    def __init__(self, driver, disk_root, memory_root, rounds):
        self.driver = driver
        self.libzip_entries = os.path.join(os.path.dirname(driver), "bench_libzip_entries")
        self.disk = tempfile.mkdtemp(prefix="brimvale-bench-", dir=disk_root)
        self.memory = tempfile.mkdtemp(prefix="brimvale-bench-", dir=memory_root)
        self.rounds = rounds
        self.rows = []
        self.env = dict(os.environ, BRIMVALE_HOME=os.path.join(self.disk, "home"))

    def cleanup(self):
        shutil.rmtree(self.disk, ignore_errors=True)
        shutil.rmtree(self.memory, ignore_errors=True)

    def shell(self, command):
        subprocess.run(command, shell=True, check=True, env=self.env, stdout=subprocess.DEVNULL)

    def ours(self, *args):
        return " ".join([self.driver] + [f"'{a}'" for a in args])

    def timed(self, command):
        """Seconds, peak resident kilobytes and processor seconds of one run of the shell command."""
        report = os.path.join(self.disk, "time.out")
        start = time.perf_counter()
        subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", report, "sh", "-c", command], check=True,
                       env=self.env, stdout=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        with open(report) as f:
            peak, user, system = f.read().split()[-3:]
        return seconds, int(peak), float(user) + float(system)

    def compare(self, sides, before_round=None, rounds=None):
        """Sides: (label, command, untimed preparation or None). Returns {label: (median s, peak KB)}."""
        rounds = rounds or self.rounds
        times = {label: [] for label, _, _ in sides}
        cpu = {label: [] for label, _, _ in sides}
        peaks = {label: 0 for label, _, _ in sides}
        for r in range(rounds):
            if before_round:
                before_round(r)
            for i in range(len(sides)):
                label, command, prepare = sides[(r + i) % len(sides)]
                if prepare:
                    prepare()
                seconds, peak, processor = self.timed(command)
                times[label].append(seconds)
                cpu[label].append(processor)
                peaks[label] = max(peaks[label], peak)
        result = {label: (statistics.median(times[label]), peaks[label]) for label in times}
        # The processor time tells a loaded machine from a slow program.
        print("   " + ", ".join(f"{label} {s:.3f} s (cpu {statistics.median(cpu[label]):.2f} s, "
                                f"peak {peak / 1024:.0f} MB)" for label, (s, peak) in result.items()), flush=True)
        return result

    def row(self, work, ours, peer, peer_value, limit, unit="s", absolute=False):
        """A comparison whose ratio ours / peer must stay within Limit, or with Absolute, ours itself; with no
        Limit the row is there to be read, not to be met."""
        self.rows.append((work, ours, peer, peer_value, limit, unit, absolute))

    def table(self):
        print()
        header = f"{'work':<46} {'ours':>10} {'peer':<34} {'peer':>10} {'ratio':>6} {'target':>8}"
        print(header)
        print("-" * len(header))
        met = True
        for work, ours, peer, peer_value, limit, unit, absolute in self.rows:
            ratio = ours / peer_value if peer_value else float("inf")
            ok = limit is None or (ours if absolute else ratio) <= limit
            met = met and ok
            fmt = {"s": lambda v: f"{v:.3f} s", "x": lambda v: f"{v:.2f} x"}.get(unit, lambda v: f"{v:.1f} {unit}")
            target = "-" if limit is None else "<= " + (fmt(limit) if absolute else format(limit, ".3g"))
            # A row without a peer is held to its target alone.
            peer_text = "-" if peer_value is None else fmt(peer_value)
            ratio_text = "-" if peer_value is None else f"{ratio:.3f}"
            print(f"{work:<46} {fmt(ours):>10} {peer:<34} {peer_text:>10} {ratio_text:>6} "
                  f"{target:>8}{'' if ok else '  MISSED'}")
        return met


def remover(*paths):
    def remove():
        # rm is much quicker than shutil with a million files.
        subprocess.run(["rm", "-rf", "--"] + list(paths), check=True)
        subprocess.run(["sync"], check=True)
    return remove


def compressed(b):
    tree = os.path.join(b.memory, "mixed")
    print("== compressed backup of a mixed 500 MB tree", flush=True)
    b.shell(b.ours("generate", "mixed", tree, "500"))
    out = os.path.join(b.memory, "out")
    os.makedirs(out)
    ours_zip, info_zip, tgz = (os.path.join(out, n) for n in ("Bench.zip", "info.zip", "tree.tgz"))
    b.shell(f"cat $(find '{tree}' -type f) >/dev/null")
    r = b.compare([
        ("ours", b.ours("backup", tree, out, "--compress"), remover(ours_zip)),
        ("zip", f"cd '{tree}' && zip -r -6 -q '{info_zip}' .", remover(info_zip)),
        ("pigz", f"cd '{tree}' && tar -cf - . | pigz -6 -p{THREADS} >'{tgz}'", remover(tgz)),
    ])
    work = "compressed backup, mixed 500 MB tree"
    b.row(work, r["ours"][0], f"tar -cf - | pigz -6 -p{THREADS}", r["pigz"][0], 1.0)
    b.row(work, r["ours"][0], "zip -r -6", r["zip"][0], 0.2)
    b.row("archive size of it", os.path.getsize(ours_zip) / 1e6, "zip -r -6", os.path.getsize(info_zip) / 1e6,
          1.005, "MB")

    print("== restore of that archive", flush=True)
    dest = os.path.join(b.memory, "restore")
    r = b.compare([
        ("ours", b.ours("extract", ours_zip, dest), remover(dest)),
        ("7z", f"7z x -y -o'{dest}' '{ours_zip}'", remover(dest)),
        ("unzip", f"unzip -q -o '{ours_zip}' -d '{dest}'", remover(dest)),
    ])
    b.row("restore of the mixed archive", r["ours"][0], "7z x", r["7z"][0], 1.0)
    b.row("restore of the mixed archive", r["ours"][0], "unzip", r["unzip"][0], 1.0)
    remover(tree)()
    shutil.rmtree(out)
    shutil.rmtree(dest, ignore_errors=True)


def tiny_files(b, count, rounds=None):
    """Copy and compressed backup of COUNT tiny files on tmpfs; returns our copy time."""
    tree = os.path.join(b.memory, "tiny")
    label = f"{count:,}"
    print(f"== {label} tiny files (tmpfs)", flush=True)
    b.shell(b.ours("generate", "tiny", tree, str(count)))
    b.shell(f"find '{tree}' >/dev/null")
    ours_dest, cp_dest, rsync_dest = (os.path.join(b.memory, n) for n in ("ours", "cp", "rsync"))
    # Only one copy at a time: tmpfs has room for a limited number of files.
    clear = remover(ours_dest, cp_dest, rsync_dest)
    r = b.compare([
        ("ours", b.ours("backup", tree, ours_dest), clear),
        # No sync after them: on tmpfs it would only time the other file systems' writes.
        ("cp", f"cp -a --reflink=never '{tree}' '{cp_dest}'", clear),
        ("rsync", f"rsync -a '{tree}' '{rsync_dest}'", clear),
    ], rounds=rounds)
    b.row(f"copy of {label} tiny files (tmpfs)", r["ours"][0], "cp -a --reflink=never", r["cp"][0], 1.1)
    b.row(f"copy of {label} tiny files (tmpfs)", r["ours"][0], "rsync -a", r["rsync"][0], 1.1)
    remover(ours_dest, cp_dest, rsync_dest)()

    out = os.path.join(b.memory, "out")
    os.makedirs(out)
    ours_zip, info_zip = os.path.join(out, "Bench.zip"), os.path.join(out, "info.zip")
    r = b.compare([
        ("ours", b.ours("backup", tree, out, "--compress"), remover(ours_zip)),
        ("zip", f"cd '{tree}' && zip -r -6 -q '{info_zip}' .", remover(info_zip)),
    ], rounds=rounds)
    b.row(f"compressed backup of {label} tiny files", r["ours"][0], "zip -r -6", r["zip"][0], None)
    r_zip_peak = r["zip"][1]
    b.row(f"compressed backup of {label} tiny files, peak", r["ours"][1] / 1024, "zip -r -6", r["zip"][1] / 1024,
          1.0, "MB")
    # The floor under that peak: libzip alone, naming the same files as empty entries.
    floor_zip = os.path.join(out, "floor.zip")
    r = b.compare([("libzip", f"'{b.libzip_entries}' '{tree}' '{floor_zip}'", remover(floor_zip))], rounds=rounds)
    b.row(f"libzip alone naming those {label} files, peak", r["libzip"][1] / 1024, "zip -r -6",
          r_zip_peak / 1024, None, "MB")
    shutil.rmtree(out)
    return tree, r


def scan(b, tree):
    print("== scan of 100,000 files", flush=True)
    r = b.compare([
        ("ours", b.ours("scan", tree), None),
        ("find", f"find '{tree}' -printf '%s\\n'", None),
    ])
    b.row("scan of 100,000 files", r["ours"][0], "find -printf", r["find"][0], 1.1)


def big_files(b):
    tree = os.path.join(b.disk, "big")
    print("== copy of 1 GiB in 16 files (disk)", flush=True)
    b.shell(b.ours("generate", "sized", tree, "16", str(64 * 1024)))
    b.shell(f"cat $(find '{tree}' -type f) >/dev/null")
    ours_dest, cp_dest, rsync_dest = (os.path.join(b.disk, n) for n in ("ours", "cp", "rsync"))
    r = b.compare([
        ("ours", b.ours("backup", tree, ours_dest), remover(ours_dest)),
        ("cp", f"cp -a --reflink=never '{tree}' '{cp_dest}' && sync", remover(cp_dest)),
        ("rsync", f"rsync -a '{tree}' '{rsync_dest}' && sync", remover(rsync_dest)),
    ])
    b.row("copy of 1 GiB in 16 files (disk)", r["ours"][0], "cp -a --reflink=never && sync", r["cp"][0], 1.05)
    b.row("copy of 1 GiB in 16 files (disk)", r["ours"][0], "rsync -a && sync", r["rsync"][0], 1.05)
    remover(tree, ours_dest, cp_dest, rsync_dest)()


def reruns(b):
    tree = os.path.join(b.disk, "files")
    print("== reruns over 20,000 files of 4 KiB (disk)", flush=True)
    b.shell(b.ours("generate", "sized", tree, "20000", "4"))
    ours_dest, rsync_dest = os.path.join(b.disk, "ours"), os.path.join(b.disk, "rsync")
    ours = b.ours("backup", tree, ours_dest, "--only-changed")
    rsync = f"rsync -a '{tree}' '{rsync_dest}'"
    b.shell(ours)
    b.shell(rsync)
    b.shell("sync")
    r = b.compare([("ours", ours, None), ("rsync", rsync + " && sync", None)],
                  before_round=lambda n: b.shell(b.ours("change", tree, "1", str(n)) + " && sync"))
    b.row("rerun, 1% of 20,000 files changed (disk)", r["ours"][0], "rsync -a && sync", r["rsync"][0], 1.0)
    r = b.compare([("ours", ours, None), ("rsync", rsync, None)])
    b.row("rerun, nothing changed (disk)", r["ours"][0], "rsync -a", r["rsync"][0], 1.0)
    remover(ours_dest, rsync_dest)()

    # Ours reads back and checks the data of every entry it keeps; zip -u trusts the times alone.
    print("== compressed rerun, 1% of 20,000 files changed (disk)", flush=True)
    ours_out, zip_out = os.path.join(b.disk, "ours-zip"), os.path.join(b.disk, "info-zip")
    os.makedirs(zip_out)
    ours = b.ours("backup", tree, ours_out, "--compress", "--only-changed")
    info_zip = f"cd '{tree}' && zip -r -u -6 -q '{os.path.join(zip_out, 'info.zip')}' ."
    b.shell(ours)
    b.shell(info_zip)
    b.shell("sync")
    r = b.compare([("ours", ours, None), ("zip", info_zip + " && sync", None)],
                  before_round=lambda n: b.shell(b.ours("change", tree, "1", str(100 + n)) + " && sync"))
    b.row("compressed rerun, 1% of 20,000 changed (disk)", r["ours"][0], "zip -r -u -6 && sync", r["zip"][0], 1.2)
    remover(tree, ours_out, zip_out)()


def log_window(b):
    """A detailed run log opened from the Log page and searched, through the real widgets (offscreen)."""
    window = os.path.join(os.path.dirname(b.driver), "bench_log_window")
    for mb, open_limit in ((100, 3.0), (200, 6.0)):
        home = os.path.join(b.disk, f"log-home-{mb}")
        env = dict(b.env, BRIMVALE_HOME=home)
        print(f"== log window, a {mb} MB detailed run log with 100,000 warnings", flush=True)
        subprocess.run([b.driver, "generate", "log", os.path.join(home, "Logs"), str(mb), "100000"], check=True,
                       env=env)
        size = sum(os.path.getsize(os.path.join(home, "Logs", n)) for n in os.listdir(os.path.join(home, "Logs")))
        opens, searches, peak = [], [], 0
        report = os.path.join(b.disk, "time.out")
        for _ in range(b.rounds):
            out = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report, window, "permission"], check=True,
                                 env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
            fields = out.split()
            if int(fields[fields.index("hits") + 1]) != 100_000:
                raise RuntimeError(f"the search listed {out.strip()}")
            opens.append(float(fields[fields.index("open") + 1]))
            searches.append(float(fields[fields.index("search") + 1]))
            with open(report) as f:
                peak = max(peak, int(f.read().split()[-1]))
        print(f"   open {statistics.median(opens):.3f} s, search {statistics.median(searches):.3f} s, "
              f"peak {peak / 1024:.0f} MB", flush=True)
        b.row(f"log window, {mb} MB run log to first lines", statistics.median(opens), "-", None, open_limit,
              absolute=True)
        b.row(f"search of it, 100,000 lines found", statistics.median(searches), "-", None, 2.0, absolute=True)
        b.row(f"peak memory while open / file size", peak * 1024 / size, "-", None, 4.0, "x", absolute=True)
        shutil.rmtree(home)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("driver", help="the bench_driver program")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--large", action="store_true", help="add the million-file runs")
    parser.add_argument("--only", help="run one piece of work: compress, tiny, big, rerun, log")
    parser.add_argument("--disk", default=os.environ.get("TMPDIR", "/tmp"))
    parser.add_argument("--memory", default="/dev/shm", help="a folder on tmpfs")
    options = parser.parse_args()
    b = Bench(os.path.abspath(options.driver), options.disk, options.memory, max(5, options.rounds))
    try:
        wanted = lambda name: not options.only or options.only == name
        if wanted("compress"):
            compressed(b)
        if wanted("tiny"):
            tree, _ = tiny_files(b, 100_000)
            scan(b, tree)
            remover(tree)()
            if options.large:
                small = [row for row in b.rows if row[0] == "copy of 100,000 tiny files (tmpfs)"]
                tree, _ = tiny_files(b, 1_000_000)
                big = [row for row in b.rows if row[0] == "copy of 1,000,000 tiny files (tmpfs)"]
                # Time grows with the count: ten times the files in at most eleven times the time.
                b.row("copy time growth, 100,000 to 1,000,000 files", big[0][1] / small[0][1],
                      "cp's growth", big[0][3] / small[0][3], 11, "x", absolute=True)
                remover(tree)()
        if wanted("big"):
            big_files(b)
        if wanted("rerun"):
            reruns(b)
        if wanted("log"):
            log_window(b)
    finally:
        b.cleanup()
    return 0 if b.table() else 1


if __name__ == "__main__":
    sys.exit(main())
