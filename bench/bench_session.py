"""What the whole-process benchmarks share: their options, a session of the
built application on a private Xvfb display and session bus, random pauses
before triggers, what /proc tells about the application's processes and
threads, and the report of their samples (median, p90 and max)."""

import argparse
import os
import random
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import lock_cycle  # noqa: E402


def options(default_runs=None, add_arguments=None):
    """--build, --runs when the benchmark repeats runs, and whatever
    `add_arguments(parser)` adds."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/default")
    if default_runs is not None:
        parser.add_argument("--runs", type=int, default=default_runs)
    if add_arguments:
        add_arguments(parser)
    return parser.parse_args()


def session(build, preferences):
    """A session of the application built in `build`, not started yet."""
    lock_cycle.require_programs()
    pane = os.path.abspath(os.path.join(build, "Tarnwick.prefPane"))
    app = os.path.join(pane, "Tarnwick.app", "Contents", "MacOS", "Tarnwick")
    artifacts = os.path.abspath(os.path.join(build, "bench-artifacts"))
    os.makedirs(artifacts, exist_ok=True)
    return lock_cycle.Session(app, pane, artifacts, preferences=preferences)


def run(build, preferences, body):
    """Runs `body(session)` in a session of the application built in
    `build`; a failure is reported, and the session always ends."""
    bench = session(build, preferences)
    try:
        body(bench)
    except lock_cycle.Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        bench.teardown()
    return 0


def random_pause(longest=0.2):
    """Waits a random time before a trigger, so that no timer of the
    application lines up with the benchmark's own rhythm."""
    time.sleep(random.uniform(0.0, longest))


# -- /proc ----------------------------------------------------------------

def _read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def _status_field(text, field):
    for line in text.splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    return 0


def process_tree(pid):
    """`pid` and every process descended from it (helpers such as the lock
    guard are children of the application)."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        stat = _read("/proc/%s/stat" % entry)
        if stat:
            parent = int(stat.rsplit(")", 1)[1].split()[1])
            children.setdefault(parent, []).append(int(entry))
    tree, pending = [], [pid]
    while pending:
        current = pending.pop()
        tree.append(current)
        pending.extend(children.get(current, []))
    return tree


def read_stat(pid):
    """(state, parent, process group, session) from /proc/<pid>/stat, or None."""
    stat = _read("/proc/%d/stat" % pid)
    if not stat:
        return None
    fields = stat.rsplit(")", 1)[1].split()
    return fields[0], int(fields[1]), int(fields[2]), int(fields[3])


def process_name(pid):
    return _read("/proc/%d/comm" % pid).strip() or "?"


def voluntary_switches(pids):
    """{(pid, tid): (process name, thread name, voluntary context switches)}
    for every thread of `pids`. A thread that sleeps and is woken switches
    voluntarily once, so the difference of two readings counts wakeups."""
    threads = {}
    for pid in pids:
        name = process_name(pid)
        try:
            tids = os.listdir("/proc/%d/task" % pid)
        except OSError:
            continue
        for tid in tids:
            task = "/proc/%d/task/%s/" % (pid, tid)
            status = _read(task + "status")
            if status:
                threads[(pid, int(tid))] = (name, _read(task + "comm").strip(),
                                            _status_field(status, "voluntary_ctxt_switches"))
    return threads


def wakeups_between(before, after):
    """[(process name, thread name, tid, wakeups)] of the threads that lived
    through both readings, most wakeups first."""
    rows = []
    for key, (name, thread, count) in after.items():
        if key in before:
            rows.append((name, thread, key[1], count - before[key][2]))
    return sorted(rows, key=lambda row: -row[3])


def memory_kb(pid):
    """(resident, anonymous resident) in kB, from /proc/<pid>/status."""
    status = _read("/proc/%d/status" % pid)
    return _status_field(status, "VmRSS"), _status_field(status, "RssAnon")


# -- reports --------------------------------------------------------------

def median(samples):
    return statistics.median(samples)


def percentile(samples, fraction):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def report(what, samples, target_ms=None, max_target_ms=None):
    target = " (target under %.0f ms)" % target_ms if target_ms else ""
    if max_target_ms:
        target = target[:-1] + ", max under %.0f ms)" % max_target_ms
    print("%s (%d runs): median %.1f ms, p90 %.1f ms, max %.1f ms%s" %
          (what, len(samples), statistics.median(samples), percentile(samples, 0.9), max(samples), target),
          flush=True)
