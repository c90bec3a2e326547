"""What the whole-process benchmarks share: their options, a session of the
built application on a private Xvfb display and session bus, and the report
of their samples (median, p90 and max)."""

import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import lock_cycle  # noqa: E402


def options(default_runs):
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--runs", type=int, default=default_runs)
    return parser.parse_args()


def session(build, preferences):
    """A session of the application built in `build`, not started yet."""
    lock_cycle.require_programs()
    pane = os.path.abspath(os.path.join(build, "Tarnwick.prefPane"))
    app = os.path.join(pane, "Tarnwick.app", "Contents", "MacOS", "Tarnwick")
    artifacts = os.path.abspath(os.path.join(build, "bench-artifacts"))
    os.makedirs(artifacts, exist_ok=True)
    return lock_cycle.Session(app, pane, artifacts, preferences=preferences)


def percentile(samples, fraction):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def report(what, samples, target_ms=None):
    target = " (target under %.0f ms)" % target_ms if target_ms else ""
    print("%s (%d runs): median %.1f ms, p90 %.1f ms, max %.1f ms%s" %
          (what, len(samples), statistics.median(samples), percentile(samples, 0.9), max(samples), target),
          flush=True)
