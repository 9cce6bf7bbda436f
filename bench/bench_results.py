# Summaries of the measured pairs and the results page.
import os
import platform as host
import statistics
import subprocess


class Figure:
    """One figure: a value per pair; its median, or for a latency its worst run, against a
    goal."""

    def __init__(self, number, title, where, unit, goal, goal_met, columns, indicative=False,
                 judge="median"):
        self.number = number
        self.title = title
        self.where = where
        self.unit = unit
        self.goal = goal            # text, e.g. "<= 1.02"
        self.goal_met = goal_met    # median -> bool
        self.indicative = indicative  # shown against the goal, but not held to it
        self.columns = columns      # names of the raw columns, the figure's value last
        self.judge = judge          # "median" or "worst" (the highest value)
        self.rows = []
        self.error = None

    def add(self, *row):
        self.rows.append(row)
        print("bench:   %s [%s] %s: %s" % (self.number, self.where, self.columns[0], " ".join(
            fmt(v, self.unit) if i == len(row) - 1 else
            str(round(v, 1)) if isinstance(v, (int, float)) else str(v)
            for i, v in enumerate(row))), flush=True)

    def values(self):
        return [row[-1] for row in self.rows]

    def median(self):
        return statistics.median(self.values()) if self.rows else None

    def judged(self):
        """The value held to the goal."""
        if not self.rows:
            return None
        return max(self.values()) if self.judge == "worst" else self.median()

    def judgeable(self):
        return self.goal_met is not None and not self.error and bool(self.rows)

    def met(self):
        if not self.judgeable():
            return False
        return self.goal_met(self.judged())


def fmt(value, unit=""):
    if value is None:
        return "-"
    if unit == "%":
        return "%.3f %%" % (value * 100.0)
    if unit == "ratio":
        return "%.3f" % value
    return "%.1f %s" % (value, unit) if unit else "%.1f" % value


def _command_line(command):
    try:
        out = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, errors="replace", timeout=60).stdout
        return out
    except (OSError, subprocess.SubprocessError):
        return ""


def machine():
    cpu = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    memory = "unknown"
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                memory = "%.1f GiB" % (int(line.split()[1]) / 1024.0 / 1024.0)
    distro = "unknown"
    if os.path.exists("/etc/os-release"):
        with open("/etc/os-release") as f:
            for line in f:
                if line.startswith("PRETTY_NAME="):
                    distro = line.split("=", 1)[1].strip().strip('"')
    return {
        "cpus": os.cpu_count(),
        "cpu": cpu,
        "memory": memory,
        "kernel": host.release(),
        "system": distro,
        "load": " ".join("%.2f" % v for v in os.getloadavg()),
    }


def archiver_version(exe, wine=False):
    lines = _command_line((["wine"] if wine else []) + [exe]).splitlines()
    return next((l.strip() for l in lines if "7-Zip" in l or "p7zip" in l), "unknown")


def _size(n):
    return "%.1f MiB" % (n / 1048576.0)


def _many_summary(w, info):
    w("## Many files of one size, before and after\n")
    w("Medians of the pairs of figure 6 and rows 6c and 6m (pairs: %s). %s\n" % (
        ", ".join("%d for %s files" % (n, "{:,}".format(files))
                  for files, n in sorted(info["many_pairs"].items())
                  if any(row["files"] == files for row in info["many"])),
        "\"Before\" is pomu_bench built from main before this work, a third side of the same "
        "pairs (not run on a million files, where it would take hours)." if info["before"] else
        "Main's build was not measured in this run."))
    w("| input | pomu / bare, before | after (goal <= 1.15) | CPU per file beyond the removal,"
      " before | after (goal <= 5 us) | peak memory per file, before | after (goal <= 600 B at "
      "300,000) |")
    w("|---|---|---|---|---|---|---|")
    for row in info["many"]:
        def pair(key, unit):
            return " | ".join(fmt(v, unit) for v in row[key])
        w("| %s | %s | %s | %s |" % (row["where"], pair("ratio", "ratio"), pair("cpu_us", "us"),
                                     pair("peak_b", "B")))
    w("")


def write(path, info, figures, notes):
    out = []
    w = out.append
    w("# pomu benchmark results\n")
    w("Written by `scripts/bench%s` on %s (run took %s). Every figure comes from this one run."
      % (" --quick" if info["quick"] else "", info["date"], info["duration"]))
    w("Its measurements are taken as pairs, the order of the sides reversed every other pair")
    w("(pomu then bare, bare then pomu, ...), so costs one side leaves behind (the disk writing")
    w("back) do not always fall on the same side; each pair gives one value (a ratio, or a")
    w("difference). A figure is judged on the median of those values, a latency on its worst")
    w("run (the median beside it). Absolute times on this machine are noisy; only the pairwise")
    w("values count.%s\n" % (" A quick run has two pairs of tiny inputs: it checks that every"
                             " figure can be measured, and judges nothing." if info["quick"]
                             else ""))
    m = info["machine"]
    w("## Machine\n")
    w("- %s CPUs: %s; memory %s" % (m["cpus"], m["cpu"], m["memory"]))
    w("- %s, kernel %s" % (m["system"], m["kernel"]))
    w("- load average when the run started: %s (other work may share the machine)" % m["load"])
    for name, version in info["archivers"]:
        w("- %s: %s" % (name, version))
    w("")
    w("## Inputs\n")
    w("Made by the script under `%s` (not committed).\n" % info["inputs_dir"])
    w("| input | files | unpacked | archive |")
    w("|---|---|---|---|")
    s = info["stamp"]
    w("| source tree ZIP (system headers and docs, Deflate) | %d | %s | %s |"
      % (s["tree"]["files"], _size(s["tree"]["unpacked_bytes"]), _size(s["tree"]["zip_bytes"])))
    w("| mixed-data ZIP (one file: half seeded noise, half text) | 1 | %s | %s |"
      % (_size(s["mixed"]["unpacked_bytes"]), _size(s["mixed"]["zip_bytes"])))
    w("| small-files ZIP (16 bytes to 4 KiB a file, a quarter seeded noise, the rest text, in %d"
      " folders; Deflate) | %d | %s | %s |" % (s["small"]["folders"], s["small"]["files"],
                                              _size(s["small"]["unpacked_bytes"]),
                                              _size(s["small"]["zip_bytes"])))
    w("| small archives (ZIPs of 3 to 8 members) | %d | - | %s in all |"
      % (s["batch"]["files"], _size(s["batch"]["zip_bytes"])))
    w("| tree to clear (made again before every clear, untimed; 16 to 115 bytes a file) | %d |"
      " %d leaf folders, 3 deep | - |" % (info["clear_files"], info["clear_folders"]))
    for row in info["many"]:
        made = s["many"][row["name"]]
        w("| many-files ZIP (%s, 100 a folder, 3 deep; Deflate) | %d | %s | %s |" % (
            "empty" if row["size"] == 0 else "%d bytes each" % row["size"], row["files"],
            _size(row["files"] * row["size"]), _size(made["zip_bytes"])))
    w("")
    w("Level `-mx=%s`; force exit is set after %d ms of extraction. Pairs per figure: %d"
      " (Linux conversion: %d; clearing: %d; force exit: %d runs; row 1w: %d)." % (
          info["level"], info["delay_ms"], info["pairs"], info["conversion_pairs"],
          info["clear_pairs"], info["force_runs"], info["diagnostic_pairs"]))
    w("")
    w("## Figures\n")
    w("| # | figure | where | median | min - max | n | goal | judged on | met |")
    w("|---|---|---|---|---|---|---|---|---|")
    for f in figures:
        vals = f.values()
        lo_hi = "%s - %s" % (fmt(min(vals), f.unit), fmt(max(vals), f.unit)) if vals else "-"
        judged = "-"
        if f.error:
            met = "failed"
        elif f.goal_met is None:
            met = "-"
        elif not f.rows:
            met = "cannot be judged"
        elif info["quick"]:
            met = "not judged (quick run)"
        else:
            judged = "%s %s" % ("worst" if f.judge == "worst" else "median",
                                fmt(f.judged(), f.unit))
            met = "yes" if f.met() else "**no**"
            if f.indicative:
                met += " (indicative)"
        w("| %s | %s | %s | %s | %s | %d | %s | %s | %s |" % (
            f.number, f.title, f.where, fmt(f.median(), f.unit), lo_hi, len(vals), f.goal,
            judged, met))
    w("")
    with_goal = [f for f in figures if f.goal_met is not None]
    missed = [f for f in with_goal if f.judgeable() and not f.met()]
    unjudged = [f for f in with_goal if not f.judgeable()]
    if info["quick"]:
        w("A quick run judges no goal: the values above only show that each figure was measured.")
    else:
        w("Goals not met in this run: %s." % (", ".join(
            "%s (%s%s)" % (f.number, f.where, ", indicative" if f.indicative else "")
            for f in missed) or "none"))
        w("Goals this run cannot judge (the figure failed or has no values): %s." % (", ".join(
            "%s (%s)" % (f.number, f.where) for f in unjudged) or "none"))
    w("")
    if info["many"]:
        _many_summary(w, info)
    w("## Each pair\n")
    for f in figures:
        w("%s. %s (%s)\n" % (f.number, f.title, f.where))
        if f.error:
            w("Failed: `%s`\n" % f.error.strip().splitlines()[0] if f.error.strip() else "")
        if not f.rows:
            continue
        w("| " + " | ".join(f.columns) + " |")
        w("|" + "---|" * len(f.columns))
        for row in f.rows:
            cells = [fmt(v, f.unit) if i == len(row) - 1 else
                     ("%.1f" % v if isinstance(v, float) else str(v)) for i, v in enumerate(row)]
            w("| " + " | ".join(cells) + " |")
        w("")
    if notes:
        w(notes.rstrip() + "\n")
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w") as f:
        f.write("\n".join(out))
