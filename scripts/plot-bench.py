#!/usr/bin/env python3
"""Draws the benchmark's comparison as a PNG: time per pixel of every layout
at 1280 x 720 (full map), ours neutral and adjusted beside libyuv (and the
newest libyuv, when the run had it), libswscale and memcpy of the output,
from the JSON that scripts/bench.sh writes.

    python3 scripts/plot-bench.py build/bench/results.json docs/bench.png [TITLE]

TITLE, when given, names the machine or path in the chart's title.
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

LAYOUTS = [("rgb24", 3), ("rgb555", 2), ("rgb565", 2), ("pal8", 1), ("uyvy", 2), ("yuy2", 2)]
SIZE = "1280x720"
PIXELS = 1280 * 720
SERIES = [
    ("Kelmar, neutral", "kelmar/{layout}/" + SIZE + "/neutral/full", "#1f77b4"),
    ("Kelmar, adjusted", "kelmar/{layout}/" + SIZE + "/adjusted/full", "#aec7e8"),
    ("libyuv", "libyuv/{layout}/" + SIZE, "#ff7f0e"),
    ("libswscale", "swscale/{layout}/" + SIZE, "#2ca02c"),
    ("memcpy of the output", "memcpy/{bytes}B/" + SIZE, "#7f7f7f"),
]
UNIT_TO_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def medians(path):
    """Median CPU time in ns of every benchmark, by name."""
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    found = {}
    samples = {}
    for run in runs:
        name = run.get("run_name", run["name"])
        ns = run["cpu_time"] * UNIT_TO_NS[run.get("time_unit", "ns")]
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                found[name] = ns
        else:
            samples.setdefault(name, []).append(ns)
    for name, values in samples.items():
        if name not in found:
            values.sort()
            found[name] = values[len(values) // 2]
    return found, runs


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit("usage: plot-bench.py RESULTS.json OUTPUT.png [TITLE]")
    times, _ = medians(sys.argv[1])
    with open(sys.argv[1]) as f:
        context = json.load(f).get("context", {})
    series = list(SERIES)
    # The newest libyuv, when the run had it: its benchmarks are named
    # libyuv-<release>/<layout>/<size>.
    newest = sorted({n.split("/")[0] for n in times if n.startswith("libyuv-")})
    for release in newest:
        series.insert(3, ("libyuv " + release[len("libyuv-"):] + " (clang)",
                          release + "/{layout}/" + SIZE, "#d62728"))
    if newest:
        series[2] = ("libyuv (Debian's)",) + series[2][1:]
    width = 0.8 / len(series)
    top = 0.5  # taller bars are cut here and carry their value
    fig, ax = plt.subplots(figsize=(10, 4.8), dpi=100)
    for index, (label, pattern, colour) in enumerate(series):
        xs, ys = [], []
        for position, (layout, bytes_per_pixel) in enumerate(LAYOUTS):
            ns = times.get(pattern.format(layout=layout, bytes=bytes_per_pixel))
            if ns is None:
                continue
            xs.append(position + (index - (len(series) - 1) / 2) * width)
            ys.append(ns / PIXELS)
        ax.bar(xs, [min(y, top) for y in ys], width, label=label, color=colour)
        for x, y in zip(xs, ys):
            ax.text(x, min(y, top) + 0.004, "%.2f" % y, ha="center", va="bottom", fontsize=6,
                    rotation=90)
    ax.set_ylim(0, top * 1.12)
    ax.set_xticks(range(len(LAYOUTS)))
    ax.set_xticklabels([layout for layout, _ in LAYOUTS])
    ax.set_ylabel("ns per pixel (lower is faster)")
    date = context.get("date", "")[:10]
    title = "1280 x 720, every macroblock; medians of interleaved rounds; " + date
    if len(sys.argv) == 4:
        title = sys.argv[3] + "\n" + title
    ax.set_title(title)
    ax.legend(fontsize="small", ncol=3)
    ax.grid(axis="y", alpha=0.3)
    fig.tight_layout()
    fig.savefig(sys.argv[2])


if __name__ == "__main__":
    main()
