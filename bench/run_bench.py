# Measures pomu against the bare archiver in pairs and writes the results page (see scripts/bench).
import argparse
import datetime
import glob
import os
import shutil
import statistics
import subprocess
import sys
import time

import bench_inputs
import bench_results
from bench_results import Figure
from bench_runs import (BenchError, Platform, alone_ms, bare_batch, remove_tree, time_rm_rf,
                        time_wine_rd, windows_path)

FULL = {"pairs": 5, "conversion_pairs": 7, "comment_pairs": 15, "test_runs": 5, "small_runs": 5,
        "clear_pairs": 7, "force_runs": 10, "diagnostic_pairs": 3, "delay_ms": 500,
        "clear_files": 100000,
        "many_pairs": {10000: 5, 100000: 3, 300000: 3, 1000000: 2},
        "search_files": 100000, "search_runs": 7,
        "sizes": {"tree_bytes": 150 << 20, "mixed_bytes": 1 << 30, "small_files": 10000,
                  "batch_count": 200, "many_files": [10000, 100000, 300000]}}
# Two of everything, so both orders of a pair run.
QUICK = {"pairs": 2, "conversion_pairs": 2, "comment_pairs": 2, "test_runs": 2, "small_runs": 1,
         "clear_pairs": 2, "force_runs": 2, "diagnostic_pairs": 2, "delay_ms": 50,
         "clear_files": 2000,
         "many_pairs": {200: 2, 2000: 2}, "search_files": 2000, "search_runs": 2,
         "sizes": {"tree_bytes": 2 << 20, "mixed_bytes": 48 << 20, "small_files": 300,
                   "batch_count": 5, "many_files": [200, 2000]}}
# --long adds a million files to the many-files family.
LONG_MANY_FILES = 1000000
LEVEL = "5"

HOW = """## How each figure is measured

Every pair runs its sides in turn, the order reversed every other pair (A B, B A, A B, ...;
for three sides A B C, C B A, ...); each side starts from a `sync`ed disk and its own fresh
copy of its input.

1. `pomu_bench convert` runs the real conversion job (`convertFile`) through a headless window
   and reports the wall time around it: workspace preparation, both archiver runs, workspace
   removal. The bare side is timed by the script around `mkdir`, `7z x <zip> -o<folder> -r`,
   `7z a <7z> <folder>* -mx=<level>` and the removal of the folder, with the same arguments
   and the workspace in the same temp folder. The figure is pomu / bare per pair. pomu_bench's
   own start is outside both (the window starts once per session, not once per archive); the
   whole process time is shown beside it. On Linux the bare side removes with `rm -rf`. Under
   Wine both sides run the Windows `7z.exe`, the bare side starting it with `wine` from the
   script, and figure 1 there is like for like, what a Windows user without pomu does: the
   bare side removes the folder with Wine's own `cmd /c rd /s /q`; row 1u is the same pairs
   against a bare side that removes with Unix `rm -rf` instead.
   Row 1o splits each side of the same pairs into the time its extraction and compression
   took and the rest: the script times each `7z` it starts, and while pomu_bench runs the
   script looks at its child processes every 10 ms (so each start and end is seen up to
   10 ms late, on average as late at both ends), telling a listing (`7z l`, first argument
   `l` in `/proc/<pid>/cmdline`) from the other runs. The value is pomu's rest less the
   script's rest, over the bare conversion: the part of figure 1 that is pomu's own, its
   proof's listings included, without the archiver's own swing from run to run (Linux only:
   under Wine the archiver is not pomu_bench's child).
2. pomu_bench's own CPU time (user + system, children excluded: `getrusage(RUSAGE_SELF)`,
   `GetProcessTimes` under Wine) over the same conversion's wall time. Beside it: the CPU time
   of the bare script's `rm -rf` of the same unpacked tree. On Linux the goal is held to row
   2r, which takes off pomu's own removal CPU, work the bare script's `rm -rf` does too and
   that this disk's `discard` makes costly: pomu_bench notes its wall and CPU time before
   and after every pass of the event pump, run by run (a pass starts a new run when the tool
   object is another one, when the pass before saw its tool ended, or when a child has been
   reaped since; the job's four runs are the source's listing, the extraction, the
   compression and the new archive's listing, and a conversion that shows another count
   fails the row). What it spends from the compression's last pass to the new listing's
   first is taken off, pair by pair: the walk of the workspace for the proof, the
   workspace's removal (by far the most), the output's size check and the start of the
   listing; the walk's CPU, timed apart on a fresh copy of the tree as for row 2p, is put
   back.
   Row 2p (Linux) is the proof's own share of the same conversion's wall time, the time the
   user waits on it: the time pomu waits on a listing (from its first pump pass to its
   last) with no other archiver run going on beside it. pomu starts the source's listing
   beside the extraction and the new archive's while it walks and removes the workspace,
   and waits on each only when it needs its result; what the extraction (or any other run)
   covers of that wait is taken off, as row 1o's watch sees those runs from outside every
   10 ms (from a run's first sight to the first look that no longer finds it running, an
   ended child not yet reaped counting as gone; each start and end up to 10 ms late; both
   sides read the system's monotonic clock); plus pomu's own time after each listing, in
   process (reading and parsing its output, checking the source; comparing the archives);
   plus the walk of the unpacked tree, which the job makes just before removing the
   workspace and so cannot be told apart from the removal there: `pomu_bench walk` times the
   same walk (every file below the folder, named as the listings name them) on a fresh copy
   of the tree, unpacked untimed by the Linux archiver after the pair. Left out: making each
   listing's command before it starts. Beside it, the whole wait in process, and the
   listings' whole time seen from outside, other runs beside them included.
   Row 2t (Linux) is the new archive's test (`7z t`, run only with delete-processed on) over
   the wall time of the same conversion: separate runs of `pomu_bench convert ...
   delete-processed`, from the test's first pump pass to its last. The source then goes to
   a Trash of the run's own (HOME and XDG_DATA_HOME in the scratch folder, on the inputs'
   file system) and is put back from a hard link made before the run.
   Row 2f (Linux) is, in the same runs, what follows the test up to the job's end over the
   wall time: the new archive dated, every volume and its folder flushed to the disk
   (`fsync`), and the source moved to the Trash; the flush is part of it, not measured apart.
   Row 2s (Linux) is row 2p's share on the small-files ZIP, where the listings and the walk
   weigh the most against the archiver's work: separate runs of `pomu_bench convert` (as
   for row 2p, without delete-processed), the walk timed apart on a fresh unpacked copy
   after each run. pomu runs the source's listing beside the extraction and the new
   archive's listing while it walks and removes the workspace, so a listing costs the user
   only the time it outlasts the step beside it.
   Row 2c (Linux) is what carrying an archive comment costs: the small-files ZIP under a
   comic ending (so the new archive is a ZIP, `.cbz`), converted by `pomu_bench convert ...
   zip` with the largest comment a ZIP's end record holds (65,535 bytes) and, as the other
   side of each pair, the same ZIP without one; the figure is the wall time with the comment
   over the wall time without it, pomu_bench's own CPU time of each side beside it. Both
   sides, their temp folder included, run on the tmpfs of the many-files family, as a disk's
   waits swing a conversion there by seconds. Each run checks that the new ZIP ends in the
   comment.
3. `pomu_bench force-exit` extracts the mixed-data ZIP through the tool runner. Once the
   archiver has run for the delay a helper thread posts an event to the window's queue (as a
   click on the close button arrives), and the event's handling sets force exit; nothing else
   wakes the pump meanwhile. The figure is the time from posting the event to the runner's
   return (the archiver has ended), so the pump's wake-up is inside it; the goal is judged on
   the worst run, the median beside it. Beside each run: the wake-up (event posted to flag
   set) and the time from the flag until the runner had sent the end to the archiver (`kill`,
   `TerminateProcess`); the rest is the wait for the operating system to end the process.
4. `pomu_bench clear` times `clearFolder` on a fresh tree; the bare side times `rm -rf` of an
   identical fresh tree, each tree made right before its side. The figure is the CPU time
   ratio (rm's from `wait4`): the trees are not `sync`ed, since this disk is mounted with
   `discard` and freeing blocks already written makes either side wait on the disk for
   seconds at random. Row 4w is the same pairs' wall time ratio, which those waits swing.
5. `pomu_bench batch` converts every small archive as one drop batch; the bare side is a
   script making the same two archiver runs per file (folder made and removed in-process).
   Both sides are timed the same way, by the script around what it starts: the whole
   pomu_bench process (its own start included, once per batch) against the whole loop of
   archiver runs. The figure is (pomu - script) / files per pair; pomu_bench's in-process
   time of the batch is shown beside it.

6. The many-files family (Linux): ZIPs of N files of 100 bytes (each its own text) and of N
   empty files, 100 to a folder three deep, converted with both sides on a tmpfs (a mount of
   the run's own when the script runs as root, else `/dev/shm`), so that neither waits on a
   disk; the ZIP is copied there first. Each pair runs the bare script (as for figure 1),
   pomu_bench `convert` and, with `--before`, the pomu_bench of main before the proof became
   linear, as a third side (up to 300,000 files), in turn, the order reversed every other
   pair. Figure 6 is pomu / bare (main's build beside it). Row 6c is pomu's own CPU time
   beyond the workspace's removal (as row 2r: the stretch after the compression taken off,
   the walk timed apart on a fresh unpacked copy put back), over N. Row 6m is pomu_bench's
   peak resident memory (`VmHWM` in `/proc/<pid>/status`, what `getrusage` reports as
   `ru_maxrss`, looked at every 10 ms until it ends; the window's own start is in it) over N.
   Row 6f is how flat row 6c stays from 10,000 files to 300,000: each count's median over
   the lowest of them, judged on the highest.

7. `pomu_bench search` (Linux) runs what the window runs for a dropped folder, from the drop
   to the list the batch takes: the search of the tree in the window's slices (256 entries
   between two looks at the clock), the question's text and the drop with the archives in
   name order. The tree is on the tmpfs of figure 6: its files in folders of 100, three deep,
   ten endings in turn (four in ten are archives pomu re-packs; the `.7z` of the ten is left
   out in 7z mode); the tree is made once and searched in every run. The figure is
   pomu_bench's own CPU time (user + system) over the tree's files.

Row 1w (Windows build under Wine, no goal) explains figure 1 there: the source tree unpacked
by the Linux archiver (untimed), then removed by `pomu_bench.exe clear`, by Wine's own
`cmd /c rd /s /q`, and by Unix `rm -rf`, each on a fresh copy.
"""


def sync():
    os.sync()


def is_tmpfs(path):
    """True when the folder's file system is a tmpfs: that of the deepest mount holding it."""
    path = os.path.realpath(path)
    best, kind = "", None
    with open("/proc/mounts") as f:
        for line in f:
            fields = line.split()
            point = fields[1].replace("\\040", " ")
            if (path == point or path.startswith(point.rstrip("/") + "/")) and len(point) > len(best):
                best, kind = point, fields[2]
    return kind == "tmpfs"


def remove_file(path):
    if os.path.exists(path):
        os.remove(path)


def in_turn(pair, *sides):
    """Runs the sides of one pair, in the given order for even pairs and reversed for odd ones;
    their results come back in the given order."""
    order = list(range(len(sides)))
    if pair % 2:
        order.reverse()
    results = [None] * len(sides)
    for k in order:
        results[k] = sides[k]()
    return results


def waited_alone(a):
    """How long pomu waited on its listings while no other archiver run went on: each
    listing's pump span, less what the outside watch saw other runs cover of it."""
    spans = [tuple(float(t) for t in span.split(",")) for span in a["listing_spans"].split()]
    return alone_ms(spans, a["other_run_spans"])


def walk(p, source, tree, walkers=None):
    """The proof's walk of the workspace, timed on a fresh unpacked copy (untimed) after the
    run, so no side's disk state changes: the walk's result line (wall_ms, cpu_ms); with
    walkers (platforms), one line each, all on the same copy."""
    remove_tree(tree)
    p.archiver("x", p.path(source), "-o" + p.folder(tree), "-r")
    lines = [w.pomu("walk", w.path(tree)) for w in (walkers or [p])]
    remove_tree(tree)
    return lines if walkers else lines[0]


def conversion_figures(p, source, pairs, scratch, wine):
    tag = "Windows build under Wine" if wine else "Linux"
    bare_name = "bare archiver with Wine's `rd /s /q`" if wine else "bare archiver"
    ratio = Figure("1", "conversion wall time, pomu / " + bare_name, tag, "ratio",
                   "<= 1.02", lambda m: m <= 1.02,
                   ["pair", "pomu_bench process ms", "pomu ms", "bare ms", "ratio"],
                   indicative=wine)
    unix = Figure("1u", "the same, the bare side removing with Unix `rm -rf`", tag, "ratio",
                  "-", None, ["pair", "pomu ms", "bare with rm -rf ms", "ratio"])
    # On Linux figure 2 is judged as row 2r: removing the workspace costs pomu what it costs
    # the bare script's rm -rf, and on a disk with discard that is most of pomu's CPU.
    share = Figure("2", "pomu's own CPU time / conversion wall time", tag, "%",
                   "<= 1 %" if wine else "-", (lambda m: m <= 0.01) if wine else None,
                   ["pair", "pomu CPU ms", "bare rm -rf CPU ms", "wall ms", "share"],
                   indicative=wine)
    beyond = Figure("2r", "pomu's own CPU time beyond the workspace's removal / conversion wall "
                    "time", tag, "%", "<= 1 %", lambda m: m <= 0.01,
                    ["pair", "pomu CPU ms", "pomu CPU after the compression ms",
                     "walk (apart) CPU ms", "wall ms", "share"])
    proof = Figure("2p", "the proof's own share of the conversion wall time", tag, "%",
                   "<= 1 %", lambda m: m <= 0.01,
                   ["pair", "listings in process ms", "listings seen from outside ms",
                    "waited on alone ms", "after the listings ms", "walk (apart) ms", "wall ms",
                    "share"])
    outside = Figure("1o", "time outside the archiver runs, pomu's less the script's, over the "
                     "bare conversion", tag, "%", "-", None,
                     ["pair", "pomu archiver ms", "pomu outside ms", "bare archiver ms",
                      "bare outside ms", "share"])
    target = os.path.splitext(source)[0] + ".7z"
    bare_ws = os.path.join(scratch, "bare-workspace")
    walk_tree = os.path.join(scratch, "walk-tree")

    def pomu_side():
        remove_file(target)
        sync()
        a = p.pomu("convert", p.path(source), LEVEL, p.folder(p.archiver_dir),
                   watch_archiver=not wine)
        if not os.path.getsize(target):
            raise BenchError("pomu wrote an empty archive")
        remove_file(target)
        if not wine and int(a["runs"]) != 4:
            raise BenchError("pomu_bench told %s archiver runs apart, not 4" % a["runs"])
        return a

    def bare_side(removal):
        def run():
            remove_file(target)
            remove_tree(bare_ws)
            sync()
            result = p.bare_convert(source, target, LEVEL, bare_ws, removal)
            remove_file(target)
            return result
        return run

    try:
        for i in range(pairs):
            if wine:
                a, (b, _, _), (c, _, removal_cpu) = in_turn(
                    i, pomu_side, bare_side("rd"), bare_side("rm"))
            else:
                a, (b, b_archiver, removal_cpu) = in_turn(i, pomu_side, bare_side("rm"))
            wall = float(a["wall_ms"])
            ratio.add(i + 1, a["process_ms"], wall, b, wall / b)
            cpu = float(a["cpu_ms"])
            share.add(i + 1, cpu, removal_cpu, wall, cpu / wall)
            if wine:
                unix.add(i + 1, wall, c, wall / c)
            else:  # rows 2r, 2p and 1o are kept for Linux only
                own_removal = float(a["after_compression_cpu_ms"])
                listings, after_listings = float(a["listing_ms"]), float(a["after_listings_ms"])
                walked = walk(p, source, walk_tree)
                walk_ms = float(walked["wall_ms"])
                beyond.add(i + 1, cpu, own_removal, float(walked["cpu_ms"]), wall,
                           (cpu - own_removal + float(walked["cpu_ms"])) / wall)
                alone = waited_alone(a)
                proof.add(i + 1, listings, a["listing_ms_seen"], alone, after_listings, walk_ms,
                          wall, (alone + after_listings + walk_ms) / wall)
                a_archiver = a["archiver_ms"]
                outside.add(i + 1, a_archiver, wall - a_archiver, b_archiver, b - b_archiver,
                            ((wall - a_archiver) - (b - b_archiver)) / b)
    except (BenchError, OSError, subprocess.CalledProcessError) as e:
        ratio.error = unix.error = share.error = beyond.error = outside.error = str(e)
        proof.error = str(e)
    remove_tree(walk_tree)
    return [ratio, unix, share] if wine else [ratio, outside, share, beyond, proof]


def deleting_platform(p, home):
    """p with a Trash of its own in home (on the inputs' file system)."""
    env = dict(p.env, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"))
    return Platform(p.name, p.bench_exe, p.archiver_dir, p.workspace_parent, env)


def convert_deleting(p, source, home, watch_archiver=False):
    """One conversion with delete-processed, the source put back from a hard link after it;
    fails unless the source went to home's Trash and pomu_bench told five runs apart."""
    kept = source + ".kept"
    remove_file(os.path.splitext(source)[0] + ".7z")
    remove_file(kept)
    remove_tree(home)
    os.makedirs(home)
    os.link(source, kept)
    sync()
    try:
        a = p.pomu("convert", p.path(source), LEVEL, p.folder(p.archiver_dir),
                   "delete-processed", watch_archiver=watch_archiver)
    finally:
        os.replace(kept, source)
    trash = os.path.join(home, "data", "Trash", "files")
    if not os.path.isdir(trash) or not os.listdir(trash):
        raise BenchError("the source did not go to the run's own Trash")
    if int(a["runs"]) != 5:
        raise BenchError("pomu_bench told %s archiver runs apart, not 5" % a["runs"])
    return a


def test_figures(p, source, runs, scratch):
    f = Figure("2t", "the new archive's test run's share of the conversion wall time", "Linux",
               "%", "<= 15 %", lambda m: m <= 0.15, ["run", "test ms", "wall ms", "share"])
    flushed = Figure("2f", "after the test: the new archive dated and flushed to the disk, the "
                     "source moved away; share of the conversion wall time", "Linux", "%",
                     "<= 1 %", lambda m: m <= 0.01, ["run", "after the test ms", "wall ms",
                                                     "share"])
    home = os.path.join(scratch, "test-home")
    deleting = deleting_platform(p, home)
    try:
        for i in range(runs):
            a = convert_deleting(deleting, source, home)
            wall, test, after = float(a["wall_ms"]), float(a["test_ms"]), float(a["after_test_ms"])
            f.add(i + 1, test, wall, test / wall)
            flushed.add(i + 1, after, wall, after / wall)
    except (BenchError, OSError, subprocess.CalledProcessError, KeyError) as e:
        f.error = flushed.error = str(e)
    remove_file(os.path.splitext(source)[0] + ".7z")
    remove_tree(home)
    return [f, flushed]


def small_files_figure(p, source, runs, scratch):
    f = Figure("2s", "the proof's own share of the conversion wall time, small-files ZIP",
               "Linux", "%", "<= 3 %", lambda m: m <= 0.03,
               ["run", "waited on alone ms", "listings seen ms", "after the listings ms",
                "walk (apart) ms", "wall ms", "share"])
    target = os.path.splitext(source)[0] + ".7z"
    walk_tree = os.path.join(scratch, "small-walk-tree")
    try:
        for i in range(runs):
            remove_file(target)
            sync()
            a = p.pomu("convert", p.path(source), LEVEL, p.folder(p.archiver_dir),
                       watch_archiver=True)
            if int(a["runs"]) != 4:
                raise BenchError("pomu_bench told %s archiver runs apart, not 4" % a["runs"])
            alone, after = waited_alone(a), float(a["after_listings_ms"])
            walk_ms = float(walk(p, source, walk_tree)["wall_ms"])
            wall = float(a["wall_ms"])
            f.add(i + 1, alone, a["listing_ms_seen"], after, walk_ms, wall,
                  (alone + after + walk_ms) / wall)
    except (BenchError, OSError, subprocess.CalledProcessError) as e:
        f.error = str(e)
    remove_file(target)
    remove_tree(walk_tree)
    return f


# The most a ZIP's end record holds, in ComicBookInfo-like lines.
COMMENT = b"".join(b'{"credit": "person %05d", "role": "Writer"},\n' % i
                   for i in range(1500))[:0xFFFF]


def comment_figure(p, source, pairs, root, on_tmpfs):
    """The small-files ZIP under a comic ending, converted to a ZIP (.cbz) with the largest
    comment a ZIP holds and without one, in turn, on the tmpfs where there is one (a disk's
    waits swing a side by seconds); the comment checked in the new archive."""
    f = Figure("2c", "carrying a 64 KiB archive comment into the new ZIP: conversion wall time "
               "with it / without it, small-files ZIP", "Linux, on a tmpfs" if on_tmpfs else
               "Linux", "ratio", "<= 1.02", lambda m: m <= 1.02,
               ["pair", "with the comment ms", "without ms", "difference ms",
                "pomu CPU with ms", "pomu CPU without ms", "ratio"])
    work = os.path.join(root, "comment")
    remove_tree(work)
    temp = os.path.join(work, "temp")
    os.makedirs(temp)
    side = Platform(p.name, p.bench_exe, p.archiver_dir, temp, dict(p.env, TMPDIR=temp))
    plain, noted = os.path.join(work, "plain.cbr"), os.path.join(work, "noted.cbr")

    def converting(path, comment):
        def run():
            target = os.path.splitext(path)[0] + ".cbz"
            remove_file(target)
            if not on_tmpfs:
                sync()
            a = side.pomu("convert", path, LEVEL, side.folder(side.archiver_dir), "zip")
            with open(target, "rb") as t:
                t.seek(-len(comment) - 2, os.SEEK_END)
                if a["result"] != "converted" or t.read() != len(comment).to_bytes(2, "little") \
                        + comment:
                    raise BenchError("%s: the new ZIP does not end in the comment" % path)
            remove_file(target)
            return float(a["wall_ms"]), float(a["cpu_ms"])
        return run

    try:
        shutil.copyfile(source, plain)
        bench_inputs.with_comment(source, noted, COMMENT)
        for i in range(pairs):
            (with_ms, with_cpu), (without_ms, without_cpu) = in_turn(
                i, converting(noted, COMMENT), converting(plain, b""))
            f.add(i + 1, with_ms, without_ms, with_ms - without_ms, with_cpu, without_cpu,
                  with_ms / without_ms)
    except (BenchError, OSError, ValueError, subprocess.CalledProcessError) as e:
        f.error = str(e)
    remove_tree(work)
    return f


def force_exit_figure(p, source, runs, delay_ms, wine):
    tag = "Windows build under Wine" if wine else "Linux"
    f = Figure("3", "force exit latency (close event posted to archiver ended)", tag, "ms",
               "<= 50 ms", lambda m: m <= 50.0,
               ["run", "forced at ms", "wake-up ms", "flag to end sent ms", "latency ms"],
               indicative=wine, judge="worst")
    try:
        for i in range(runs):
            sync()
            r = p.pomu("force-exit", p.path(source), p.folder(p.archiver_dir), str(delay_ms))
            f.add(i + 1, float(r["forced_at_ms"]), float(r["wake_ms"]), float(r["runner_ms"]),
                  float(r["latency_ms"]))
    except (BenchError, OSError) as e:
        f.error = str(e)
    return f


def clear_figures(p, pairs, files, scratch):
    cpu = Figure("4", "clearing the file tree, CPU time, clearFolder / rm -rf", "Linux", "ratio",
                 "<= 1.3", lambda m: m <= 1.3,
                 ["pair", "clearFolder CPU ms", "rm -rf CPU ms", "ratio"])
    wall = Figure("4w", "the same, wall time (trees not synced: disk waits swing it)", "Linux",
                  "ratio", "-", None, ["pair", "clearFolder ms", "rm -rf ms", "ratio"])
    tree = os.path.join(scratch, "clear-tree")
    made = {}

    def pomu_side():
        made.update(bench_inputs.make_clear_tree(tree, files))
        a = p.pomu("clear", p.path(tree))
        os.rmdir(tree)
        return float(a["wall_ms"]), float(a["cpu_ms"])

    def rm_side():
        bench_inputs.make_clear_tree(tree, files)
        return time_rm_rf(tree)

    try:
        for i in range(pairs):
            (a_wall, a_cpu), (b, b_cpu) = in_turn(i, pomu_side, rm_side)
            cpu.add(i + 1, a_cpu, b_cpu, a_cpu / b_cpu)
            wall.add(i + 1, a_wall, b, a_wall / b)
    except (BenchError, OSError, subprocess.CalledProcessError) as e:
        wall.error = cpu.error = str(e)
    remove_tree(tree)
    return [cpu, wall], made


def wine_clear_figure(p, linux_archiver, source, pairs, scratch):
    """Why the conversion is slower under Wine: removing the unpacked tree through Win32."""
    f = Figure("1w", "removing the unpacked source tree under Wine: clearFolder / Wine's own "
               "`rd /s /q`", "Windows build under Wine", "ratio", "-", None,
               ["pair", "clearFolder ms", "clearFolder CPU ms", "rd /s /q ms", "unix rm -rf ms",
                "ratio"])
    tree = os.path.join(scratch, "unpacked-tree")

    def unpack():
        subprocess.run([os.path.join(linux_archiver, "7z"), "x", source, "-o" + tree, "-r"],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)

    def pomu_side():
        unpack()
        a = p.pomu("clear", p.path(tree))
        os.rmdir(tree)
        return a

    def rd_side():
        unpack()
        return time_wine_rd(p, tree)

    def rm_side():
        unpack()
        return time_rm_rf(tree)[0]

    try:
        for i in range(pairs):
            a, b, c = in_turn(i, pomu_side, rd_side, rm_side)
            f.add(i + 1, float(a["wall_ms"]), float(a["cpu_ms"]), b, c, float(a["wall_ms"]) / b)
    except (BenchError, OSError, subprocess.CalledProcessError) as e:
        f.error = str(e)
    remove_tree(tree)
    return f


def batch_figure(p, folder, pairs, scratch):
    f = Figure("5", "drop batch: pomu's time per file beyond the script's", "Linux", "ms",
               "<= 20 ms", lambda m: m <= 20.0,
               ["pair", "pomu_bench process ms", "pomu in-process ms", "script ms",
                "per file ms"])
    sources = sorted(glob.glob(os.path.join(folder, "*.zip")))
    bare_ws = os.path.join(scratch, "bare-workspace")

    def clean():
        for old in glob.glob(os.path.join(folder, "*.7z")):
            os.remove(old)

    def pomu_side():
        clean()
        sync()
        a = p.pomu("batch", p.path(folder), LEVEL, p.folder(p.archiver_dir))
        if int(a["converted"]) != len(sources):
            raise BenchError("batch converted %s of %d" % (a["converted"], len(sources)))
        clean()
        return a

    def script_side():
        clean()
        remove_tree(bare_ws)
        sync()
        b = bare_batch(p, sources, LEVEL, bare_ws)
        clean()
        return b

    try:
        for i in range(pairs):
            a, b = in_turn(i, pomu_side, script_side)
            a_ms = float(a["process_ms"])
            f.add(i + 1, a_ms, float(a["wall_ms"]), b, (a_ms - b) / len(sources))
    except (BenchError, OSError, subprocess.CalledProcessError) as e:
        f.error = str(e)
    return f


def many_files_where(size, on_tmpfs, files=None):
    kind = "empty files" if size == 0 else "files of %d bytes" % size
    return "Linux, %s, %s%s" % ("tmpfs" if on_tmpfs else "not a tmpfs",
                                "" if files is None else "{:,} ".format(files), kind)


def many_files_input(p, before, source, files, size, pairs, tmpfs, on_tmpfs):
    """One ZIP of many files of one size, both sides on the tmpfs: pomu and, when given, the
    build of main before this work (as a third side of every pair) against the bare archiver.
    Its figures and its line of the summary."""
    where = many_files_where(size, on_tmpfs, files)
    ratio = Figure("6", "conversion wall time, pomu / bare archiver", where, "ratio",
                   "<= 1.15", lambda m: m <= 1.15,
                   ["pair", "pomu ms", "bare ms", "before ms", "before / bare", "ratio"])
    cpu = Figure("6c", "pomu's own CPU time beyond the workspace's removal, per file", where,
                 "us", "<= 5 us", lambda m: m <= 5.0,
                 ["pair", "pomu CPU ms", "after the compression ms", "walk (apart) CPU ms",
                  "bare rm -rf CPU ms", "before us", "us"])
    memory = Figure("6m", "pomu's peak resident memory, per file", where, "B",
                    "<= 600 B" if files == 300000 else "-",
                    (lambda m: m <= 600.0) if files == 300000 else None,
                    ["pair", "peak MiB", "before peak MiB", "before B", "B"])
    work = os.path.join(tmpfs, "many")
    remove_tree(work)
    temp = os.path.join(work, "temp")
    os.makedirs(temp)
    zip_copy = os.path.join(work, os.path.basename(source))
    shutil.copyfile(source, zip_copy)
    target = os.path.splitext(zip_copy)[0] + ".7z"
    bare_ws = os.path.join(work, "bare-workspace")
    env = dict(p.env, TMPDIR=temp)
    sides = [Platform(p.name, p.bench_exe, p.archiver_dir, temp, env)]
    # Main's build is quadratic in the files: a million would take it hours.
    if before and files <= 300000:
        sides.append(Platform("before", before, p.archiver_dir, temp, env))
    with_before = len(sides) > 1

    def pomu_side(side):
        def run():
            remove_file(target)
            a = side.pomu("convert", zip_copy, LEVEL, side.folder(side.archiver_dir),
                          watch_memory=True)
            if a["result"] != "converted" or int(a["runs"]) != 4:
                raise BenchError("%s: %s, %s archiver runs told apart, not 4" % (
                    side.name, a["result"], a["runs"]))
            remove_file(target)
            return a
        return run

    def bare_side():
        remove_file(target)
        remove_tree(bare_ws)
        result = p.bare_convert(zip_copy, target, LEVEL, bare_ws)
        remove_file(target)
        return result

    def beyond_removal(a, walked):
        return (float(a["cpu_ms"]) - float(a["after_compression_cpu_ms"]) +
                float(walked["cpu_ms"])) * 1000.0 / files

    try:
        for i in range(pairs):
            results = in_turn(i, bare_side, *[pomu_side(side) for side in sides])
            (b, _, removal_cpu), a = results[0], results[1]
            old = results[2] if with_before else None
            walked = walk(p, zip_copy, os.path.join(work, "walk-tree"), sides)
            wall = float(a["wall_ms"])
            # What main's build gave beside each value, "-" where it did not run.
            old_wall = float(old["wall_ms"]) if old else "-"
            ratio.add(i + 1, wall, b, old_wall, old_wall / b if old else "-", wall / b)
            old_us = beyond_removal(old, walked[1]) if old else "-"
            cpu.add(i + 1, float(a["cpu_ms"]), float(a["after_compression_cpu_ms"]),
                    float(walked[0]["cpu_ms"]), removal_cpu, old_us, beyond_removal(a, walked[0]))
            memory.add(i + 1, a["peak_kb"] / 1024.0, old["peak_kb"] / 1024.0 if old else "-",
                       old["peak_kb"] * 1024.0 / files if old else "-",
                       a["peak_kb"] * 1024.0 / files)
    except (BenchError, OSError, subprocess.CalledProcessError) as e:
        ratio.error = cpu.error = memory.error = str(e)
    remove_tree(work)
    figures = [ratio, cpu, memory]

    def before_median(figure, column):
        values = [row[column] for row in figure.rows if row[column] != "-"]
        return statistics.median(values) if values else None

    summary = {"files": files, "size": size, "where": where,
               "name": bench_inputs.many_files_name(files, size),
               "ratio": (before_median(ratio, 4), ratio.median()),
               "cpu_us": (before_median(cpu, 5), cpu.median()),
               "peak_b": (before_median(memory, 3), memory.median())}
    return figures, summary


def many_files_figures(p, before, many, counts, pairs, tmpfs, on_tmpfs):
    """The many-files family, and for each size how flat pomu's CPU per file stays over the
    counts up to 300,000: each count's median over the lowest of them."""
    figures, summaries = [], []
    for size in (100, 0):
        medians = []
        for files in counts:
            found, summary = many_files_input(p, before, many[(files, size)], files, size,
                                              pairs[files], tmpfs, on_tmpfs)
            figures += found
            summaries.append(summary)
            if files <= 300000 and found[1].median() is not None:
                medians.append((files, found[1].median()))
        flat = Figure("6f", "pomu's own CPU time per file (row 6c) over its lowest, from 10,000 "
                      "files to 300,000", many_files_where(size, on_tmpfs), "ratio", "<= 1.5",
                      lambda m: m <= 1.5, ["files", "median us", "over the lowest"],
                      judge="worst")
        lowest = min((us for _, us in medians), default=None)
        for files, us in medians:
            flat.add(files, us, us / lowest)
        if not medians:
            flat.error = "no count was measured"
        figures.append(flat)
    return figures, summaries


SEARCH_ENDINGS = [".zip", ".jpg", ".rar", ".txt", ".7z", ".pdf", ".tar.gz", ".png", ".xz", ".nfo"]


def make_search_tree(folder, files, per_folder=100, fan_out=10):
    """files empty files, per_folder in each leaf folder, three deep; the endings in turn."""
    remove_tree(folder)
    made, leaf = 0, 0
    while made < files:
        a, b, c = leaf // (fan_out * fan_out), (leaf // fan_out) % fan_out, leaf % fan_out
        leaf_dir = os.path.join(folder, "Shelf %d" % a, "Series %d" % b, "Volume %d" % c)
        os.makedirs(leaf_dir)
        for i in range(min(per_folder, files - made)):
            name = "Issue %d%s" % (i, SEARCH_ENDINGS[made % len(SEARCH_ENDINGS)])
            os.close(os.open(os.path.join(leaf_dir, name), os.O_WRONLY | os.O_CREAT | os.O_EXCL))
            made += 1
        leaf += 1
    return made


def search_figure(p, files, runs, tmpfs, on_tmpfs):
    where = "Linux, %s, {:,} files".format(files) % ("tmpfs" if on_tmpfs else "not a tmpfs")
    f = Figure("7", "searching a dropped folder, pomu's own CPU time per file", where, "us",
               "<= 5 us", lambda m: m <= 5.0,
               ["run", "entries read", "archives", "steps of 256", "wall ms", "CPU ms", "us"])
    tree = os.path.join(tmpfs, "search-tree")
    try:
        made = make_search_tree(tree, files)
        for i in range(runs):
            a = p.pomu("search", tree)
            if int(a["entries"]) < made:
                raise BenchError("the search read %s entries of %d files" % (a["entries"], made))
            cpu = float(a["cpu_ms"])
            f.add(i + 1, int(a["entries"]), int(a["archives"]), int(a["slices"]),
                  float(a["wall_ms"]), cpu, cpu * 1000.0 / made)
    except (BenchError, OSError, subprocess.CalledProcessError) as e:
        f.error = str(e)
    remove_tree(tree)
    return f


def wine_platform(args, scratch):
    temp = os.path.join(scratch, "wine-temp")
    os.makedirs(temp, exist_ok=True)
    # Wine takes TMP and TEMP from the prefix's registry, not from the Unix environment.
    for name in ("TMP", "TEMP"):
        subprocess.run(["wine", "reg", "add", "HKCU\\Environment", "/v", name, "/t", "REG_SZ",
                        "/d", windows_path(temp), "/f"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
    env = dict(os.environ, TMP=windows_path(temp), TEMP=windows_path(temp))
    return Platform("windows", args.windows_bench, args.windows_archiver, temp, env, wine=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--linux-bench", required=True)
    parser.add_argument("--linux-archiver", required=True)
    parser.add_argument("--windows-bench")
    parser.add_argument("--windows-archiver")
    parser.add_argument("--inputs", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--findings", help="hand-written notes appended to the page")
    parser.add_argument("--only", help="comma-separated steps to run: conversion, test, "
                        "small, comment, force, clear, batch, many, search (Linux only; the "
                        "others are left out)")
    parser.add_argument("--tmpfs", help="a folder on a tmpfs for the many-files family")
    parser.add_argument("--before-bench", help="pomu_bench built from main before this work: a "
                        "third side of the many-files family")
    parser.add_argument("--long", action="store_true", help="a million files in the family too")
    args = parser.parse_args()
    mode = QUICK if args.quick else FULL
    if args.long and not args.quick:
        mode = dict(mode, sizes=dict(mode["sizes"], many_files=mode["sizes"]["many_files"] +
                                     [LONG_MANY_FILES]))
    started = time.time()
    date = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    machine = bench_results.machine()

    print("bench: preparing inputs in %s" % args.inputs, flush=True)
    inputs = bench_inputs.prepare(args.inputs, os.path.join(args.linux_archiver, "7z"),
                                  mode["sizes"])
    remove_tree(args.scratch)
    linux_temp = os.path.join(args.scratch, "linux-temp")
    os.makedirs(linux_temp)
    linux = Platform("linux", args.linux_bench, args.linux_archiver, linux_temp,
                     dict(os.environ, TMPDIR=linux_temp))

    figures = []
    clear_made = {}

    def step(text):
        print("bench: %s" % text, flush=True)

    only = set(args.only.split(",")) if args.only else None

    def wanted(name):
        return only is None or name in only

    if wanted("conversion"):
        step("1-2 conversion (Linux)")
        figures += conversion_figures(linux, inputs["tree_zip"], mode["conversion_pairs"],
                                      linux_temp, False)
    if wanted("test"):
        step("2t, 2f the new archive's test and what follows it (Linux)")
        figures += test_figures(linux, inputs["tree_zip"], mode["test_runs"], args.scratch)
    if wanted("small"):
        step("2s the proof's share on the small-files ZIP (Linux)")
        figures.append(small_files_figure(linux, inputs["small_zip"], mode["small_runs"],
                                          args.scratch))
    if wanted("comment"):
        step("2c a ZIP comment carried (Linux)")
        on_tmpfs = bool(args.tmpfs) and is_tmpfs(args.tmpfs)
        figures.append(comment_figure(linux, inputs["small_zip"], mode["comment_pairs"],
                                      args.tmpfs if on_tmpfs else args.scratch, on_tmpfs))
    if wanted("force"):
        step("3 force exit (Linux)")
        figures.append(force_exit_figure(linux, inputs["mixed_zip"], mode["force_runs"],
                                         mode["delay_ms"], False))
    if wanted("clear"):
        step("4 clear (Linux)")
        clear, clear_made = clear_figures(linux, mode["clear_pairs"], mode["clear_files"],
                                          args.scratch)
        figures += clear
    if wanted("batch"):
        step("5 batch (Linux)")
        figures.append(batch_figure(linux, inputs["batch"], mode["pairs"], linux_temp))
    many_summary = []
    if wanted("many"):
        step("6 many files of one size (Linux)")
        on_tmpfs = bool(args.tmpfs) and is_tmpfs(args.tmpfs)
        if on_tmpfs or args.quick:
            found, many_summary = many_files_figures(
                linux, args.before_bench, inputs["many"], mode["sizes"]["many_files"],
                mode["many_pairs"], args.tmpfs if on_tmpfs else args.scratch, on_tmpfs)
            figures += found
        else:
            failed = Figure("6", "many files of one size", "Linux", "ratio", "<= 1.15",
                            lambda m: m <= 1.15, ["x"])
            failed.error = "no tmpfs to run on (--tmpfs %s)" % args.tmpfs
            figures.append(failed)

    if wanted("search"):
        step("7 the search of a dropped folder (Linux)")
        on_tmpfs = bool(args.tmpfs) and is_tmpfs(args.tmpfs)
        if on_tmpfs or args.quick:
            figures.append(search_figure(linux, mode["search_files"], mode["search_runs"],
                                         args.tmpfs if on_tmpfs else args.scratch, on_tmpfs))
        else:
            failed = Figure("7", "searching a dropped folder", "Linux", "us", "<= 5 us",
                            lambda m: m <= 5.0, ["x"])
            failed.error = "no tmpfs to run on (--tmpfs %s)" % args.tmpfs
            figures.append(failed)

    archivers = [("Linux archiver", bench_results.archiver_version(
        os.path.join(args.linux_archiver, "7z")))]
    if args.windows_bench and only is None:
        try:
            windows = wine_platform(args, args.scratch)
            archivers.append(("Windows archiver (7z.exe under %s)" % subprocess.run(
                ["wine", "--version"], stdout=subprocess.PIPE, text=True).stdout.strip(),
                bench_results.archiver_version(windows.archiver_exe, wine=True)))
            step("1-2 conversion (Wine)")
            figures += conversion_figures(windows, inputs["tree_zip"], mode["pairs"],
                                          windows.workspace_parent, True)
            step("3 force exit (Wine)")
            figures.append(force_exit_figure(windows, inputs["mixed_zip"], mode["force_runs"],
                                             mode["delay_ms"], True))
            step("why 1 differs under Wine: removing the unpacked tree")
            figures.append(wine_clear_figure(windows, args.linux_archiver, inputs["tree_zip"],
                                             mode["diagnostic_pairs"], windows.workspace_parent))
        except (BenchError, OSError, subprocess.CalledProcessError) as e:
            failed = Figure("1-3", "Windows build under Wine", "Wine", "ms", "-", None, ["x"], True)
            failed.error = str(e)
            figures.append(failed)

    notes = HOW
    if args.findings and os.path.exists(args.findings):
        with open(args.findings) as f:
            notes += "\n" + f.read()
    info = {
        "quick": args.quick, "date": date, "machine": machine, "archivers": archivers,
        "inputs_dir": os.path.relpath(args.inputs), "stamp": inputs["stamp"],
        "clear_files": clear_made.get("files", mode["clear_files"]),
        "clear_folders": clear_made.get("folders", 0), "level": LEVEL,
        "delay_ms": mode["delay_ms"], "pairs": mode["pairs"], "force_runs": mode["force_runs"],
        "conversion_pairs": mode["conversion_pairs"],
        "clear_pairs": mode["clear_pairs"], "diagnostic_pairs": mode["diagnostic_pairs"],
        "duration": "%.0f s" % (time.time() - started),
        "many": many_summary, "many_pairs": mode["many_pairs"], "before": bool(args.before_bench),
    }
    bench_results.write(args.out, info, figures, notes)
    remove_tree(args.scratch)
    failed = [f for f in figures if f.error]
    for f in figures:
        if f.error:
            state = "failed: " + (f.error.strip().splitlines() or ["?"])[0]
        elif f.goal_met is None:
            state = "no goal"
        elif not f.judgeable():
            state = "cannot be judged"
        elif args.quick:
            state = "not judged (quick run)"
        else:
            state = ("met" if f.met() else "NOT met") + (" (indicative)" if f.indicative else "")
            state += " on the %s" % ("worst run" if f.judge == "worst" else "median")
        print("bench: %s %s [%s]: median %s, worst %s, goal %s, %s" % (
            f.number, f.title, f.where, bench_results.fmt(f.median(), f.unit),
            bench_results.fmt(max(f.values()) if f.rows else None, f.unit), f.goal, state))
    print("bench: wrote %s" % args.out)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
