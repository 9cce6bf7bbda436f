# Runs pomu_bench and the bare archiver, natively or under Wine, and reads their results.
import os
import shlex
import shutil
import subprocess
import tempfile
import time


class BenchError(Exception):
    pass


def parse_line(stdout):
    """The key=value line a pomu_bench sub-command prints, as a dict."""
    for line in reversed(stdout.splitlines()):
        if line.startswith("command="):
            values = {}
            for item in shlex.split(line):
                key, _, value = item.partition("=")
                values[key] = value
            return values
    raise BenchError("no result line in output:\n" + stdout)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Platform:
    """One build of pomu_bench with its archiver; under Wine all paths are Z: paths."""

    def __init__(self, name, bench_exe, archiver_dir, workspace_parent, env, wine=False):
        self.name = name
        self.bench_exe = bench_exe
        self.archiver_dir = archiver_dir
        self.workspace_parent = workspace_parent  # where pomu's own workspace is made
        self.env = env
        self.wine = wine
        program = "7z.exe" if wine else "7z"
        self.archiver_exe = os.path.join(archiver_dir, program)
        self.separator = "\\" if wine else "/"

    def path(self, path):
        return windows_path(path) if self.wine else os.path.abspath(path)

    def folder(self, path):
        return self.path(path).rstrip(self.separator) + self.separator

    def _prefix(self):
        return ["wine"] if self.wine else []

    def pomu(self, *arguments, watch_archiver=False, watch_memory=False):
        """Runs one sub-command; the result line plus the process's wall time seen from here.
        watch_archiver (Linux) adds "archiver_ms" and "listing_ms_seen": how long a child of
        pomu_bench was running, other runs and listings (`7z l`) apart, seen by looking at its
        children every few milliseconds; and "other_run_spans": when the runs that are no
        listing ran. watch_memory (Linux) adds "peak_kb", pomu_bench's own peak resident
        memory."""
        command = self._prefix() + [self.bench_exe, *arguments]
        # Files, not pipes: nothing reads the output while the children are watched.
        with tempfile.TemporaryFile("w+", errors="replace") as out, \
                tempfile.TemporaryFile("w+", errors="replace") as err:
            start = time.perf_counter()
            child = subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=err, text=True)
            watched = watch_children(child, command) if watch_archiver else None
            peak_kb = watch_peak_memory(child) if watch_memory else None
            child.wait()
            elapsed = (time.perf_counter() - start) * 1000.0
            out.seek(0)
            err.seek(0)
            stdout, stderr = out.read(), err.read()
        if child.returncode != 0:
            raise BenchError("%s: %s failed (exit %d)\n%s%s" % (
                self.name, " ".join(arguments[:1]), child.returncode, stdout, stderr))
        values = parse_line(stdout)
        values["process_ms"] = elapsed
        if watched is not None:
            (values["archiver_ms"], values["listing_ms_seen"],
             values["other_run_spans"]) = watched
        if peak_kb is not None:
            if not peak_kb:
                raise BenchError("%s: no peak memory was seen" % self.name)
            values["peak_kb"] = peak_kb
        return values

    def archiver(self, *arguments):
        """Runs the archiver; returns its wall time in ms."""
        command = self._prefix() + [self.archiver_exe, *arguments]
        start = time.perf_counter()
        code = subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        elapsed = (time.perf_counter() - start) * 1000.0
        if code != 0:  # pomu counts only 0 as success: a warning (1) fails here too
            raise BenchError("%s: archiver %s failed (exit %d)" % (self.name, arguments[0], code))
        return elapsed

    def bare_convert(self, source, target, level, workspace, removal="rm"):
        """The two archiver runs pomu makes, from a script: x into an empty folder, a, remove
        (removal "rm": Unix `rm -rf`; "rd": Wine's own `cmd /c rd /s /q`, what a Windows user
        without pomu has). Returns the wall time, the time the archiver ran and the CPU time
        of an `rm -rf` removal (None for rd)."""
        folder = self.folder(workspace)
        start = time.perf_counter()
        os.makedirs(workspace)
        archiver_ms = self.archiver("x", self.path(source), "-o" + folder, "-r")
        archiver_ms += self.archiver("a", self.path(target), folder + "*", "-mx=" + level)
        if removal == "rd":
            wine_rd(self, workspace)
            removal_cpu = None
        else:
            removal_cpu = remove_tree(workspace)
        return (time.perf_counter() - start) * 1000.0, archiver_ms, removal_cpu


def watch_children(child, command, interval=0.01):
    """Milliseconds during which the child had a child of its own, looked at every interval
    (each start and end is seen at most one interval late; an ended child counts as gone
    before it is reaped): (other runs, listings, the other runs' spans). A listing is a child
    whose first argument is "l"; a child is classified once it has left the fork for its own
    program (until then it shows the child's command) and then counts from when it was first
    seen; one never classified counts as another run. Spans are (start, end) in milliseconds
    of the system's monotonic clock, the one pomu_bench's steady clock reads. Linux only."""
    listing = "/proc/%d/task/%d/children" % (child.pid, child.pid)
    own = [os.fsencode(argument) for argument in command]
    running = {}  # pid -> [is a listing, or None while unknown; first seen]
    spans = []  # (first seen, seen gone, is a listing)
    while child.poll() is None:
        try:
            with open(listing) as f:
                pids = f.read().split()
        except OSError:
            pids = []
        # A child that has ended but is not reaped yet (the job reads a listing's result
        # only when it gets to it) is no longer running.
        pids = [pid for pid in pids if not is_zombie(pid)]
        now = time.monotonic() * 1000.0
        for pid in pids:
            entry = running.setdefault(pid, [None, now])
            if entry[0] is None:
                arguments = read_cmdline(pid)
                if arguments and arguments != own:
                    entry[0] = len(arguments) > 1 and arguments[1] == b"l"
        for pid in [pid for pid in running if pid not in pids]:
            is_listing, since = running.pop(pid)
            spans.append((since, now, bool(is_listing)))
        time.sleep(interval)
    now = time.monotonic() * 1000.0
    spans += [(since, now, bool(is_listing)) for is_listing, since in running.values()]
    busy = {False: 0.0, True: 0.0}
    for since, until, is_listing in spans:
        busy[is_listing] += until - since
    others = [(since, until) for since, until, is_listing in spans if not is_listing]
    return busy[False], busy[True], others


def watch_peak_memory(child, interval=0.01):
    """The child's own peak resident memory in KiB (VmHWM, the high-water mark getrusage reports
    as ru_maxrss, children excluded), looked at every interval until it ends: the last look
    before its end holds the peak. Linux only."""
    peak = 0
    while child.poll() is None:
        try:
            with open("/proc/%d/status" % child.pid) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        peak = max(peak, int(line.split()[1]))
        except (OSError, ValueError):
            pass
        time.sleep(interval)
    return peak


def alone_ms(spans, others):
    """Milliseconds of the (start, end) spans during which none of the others ran."""
    merged = []
    for since, until in sorted(others):
        if merged and since <= merged[-1][1]:
            merged[-1][1] = max(merged[-1][1], until)
        else:
            merged.append([since, until])
    total = 0.0
    for since, until in spans:
        covered = sum(max(0.0, min(until, b) - max(since, a)) for a, b in merged)
        total += max(0.0, until - since - covered)
    return total


def is_zombie(pid):
    """True for a process that has ended and waits to be reaped (or has gone already)."""
    try:
        with open("/proc/%s/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except (OSError, IndexError):
        return True


def read_cmdline(pid):
    """A process's arguments, or None once it has gone."""
    try:
        with open("/proc/%s/cmdline" % pid, "rb") as f:
            return f.read().split(b"\0")[:-1]
    except OSError:
        return None


def remove_tree(path):
    """rm -rf; returns rm's own CPU time in ms."""
    child = subprocess.Popen(["rm", "-rf", "--", path])
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise BenchError("rm -rf %s failed" % path)
    return (usage.ru_utime + usage.ru_stime) * 1000.0


def bare_batch(platform, sources, level, workspace):
    """The same archiver runs as a drop batch, two per file, with as little around them."""
    folder = platform.folder(workspace)
    start = time.perf_counter()
    for source in sources:
        os.makedirs(workspace)
        platform.archiver("x", platform.path(source), "-o" + folder, "-r")
        platform.archiver("a", platform.path(os.path.splitext(source)[0] + ".7z"), folder + "*",
                          "-mx=" + level)
        shutil.rmtree(workspace)  # in this process: no extra start per file
    return (time.perf_counter() - start) * 1000.0


def time_rm_rf(path):
    """Wall and CPU time of rm -rf, in ms."""
    start = time.perf_counter()
    cpu = remove_tree(path)
    return (time.perf_counter() - start) * 1000.0, cpu


def wine_rd(platform, path):
    """Wine's own recursive delete (cmd's rd /s /q) of the folder."""
    subprocess.run(["wine", "cmd", "/c", "rd", "/s", "/q", platform.path(path)], env=platform.env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if os.path.exists(path):
        raise BenchError("rd /s /q left %s" % path)


def time_wine_rd(platform, path):
    """Wall time of Wine's own recursive delete, in ms."""
    start = time.perf_counter()
    wine_rd(platform, path)
    return (time.perf_counter() - start) * 1000.0
