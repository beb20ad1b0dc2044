#!/usr/bin/python3
"""Our picture commands beside the same operations in ffmpeg and OpenCV, in one run.

All on 1920x1080 pictures of three 16-bit components, 2 threads each:
  ours    build/bench/video_bench (Google Benchmark), the fastest repetition;
  ffmpeg  its filters on yuv444p16 frames: (time of a run with the filter - time of the same
          run with a null filter) / frames, fastest of several;
  OpenCV  python3-opencv on uint16 three-channel images, fastest of several calls.
The machine is shared, so the three are measured in alternation, ROUNDS times, and the fastest
figure of each is kept.

usage: bench/compare_peers.py (Debian's python3, which has python3-opencv) [BUILD_DIR] [--rounds N]
"""
import argparse
import json
import os
import re
import subprocess
import sys
import time

W, H, THREADS = 1920, 1080, 2

# name, our benchmark, ffmpeg (input size, filter) or None, OpenCV function name or None
ROWS = [
    ("resize 960x540 -> 1920x1080 bilinear", "^Effect/resize_enlarge_2x/",
     ("960x540", "scale=1920:1080:flags=bilinear"), "resize"),
    ("rotate 0.5 rad, bilinear", "^Effect/rotate_0_5_rad/", ("1920x1080", "rotate=0.5:bilinear=1"), "rotate"),
    ("fliph", "^FlipH/", ("1920x1080", "hflip"), "flip"),
    ("defocus 4x4", "^Effect/defocus_4x4/", ("1920x1080", "boxblur=2:1"), "blur4"),
    ("defocus 64x64", "^Effect/defocus_64x64/", ("1920x1080", "boxblur=32:1"), "blur64"),
    ("gamma", "^Effect/gamma/", ("1920x1080", "lutyuv=y=gammaval(1):u=gammaval(1):v=gammaval(1)"), None),
    ("color, gains and offsets", "^Color/", ("1920x1080", "lutyuv=y=val*1.1+100:u=val*0.9+10:v=val*0.95+20"),
     "transform"),
    ("mosaic 16x16", "^Effect/mosaic_16x16/", ("1920x1080", "pixelize=16:16"), "mosaic"),
    ("color_rgb", "^ColorRGB/", None, "color_rgb"),
    ("posterize_rgb 5 levels", "^Effect/posterize_rgb/", None, None),
    ("mkmask_rgb", "^MakeMaskRGB/", None, None),
    ("alpha2", "^Alpha2/", None, None),
    ("alpha3", "^Alpha3/", None, None),
    ("diffuse", "^Effect/diffuse_4/", None, None),
]


def ours(build, rows):
    names = "|".join(r[1] for r in rows)
    out = subprocess.run(
        [os.path.join(build, "bench", "video_bench"), f"--benchmark_filter={names}",
         "--benchmark_repetitions=5", "--benchmark_min_time=0.2", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    best = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        ms = b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0}[b["time_unit"]]
        for r in rows:
            if re.search(r[1], b["run_name"]):
                best[r[0]] = min(best.get(r[0], ms), ms)
    return best


def ffmpeg_seconds(size, chain, frames, repeats=3):
    """The fastest of `repeats` runs: a run lasts a fraction of a second, so one taken while
    another process holds a core moves the difference by more than a cheap filter costs."""
    graph = f"testsrc2=s={size}:r=30:d={frames / 30},format=yuv444p16,{chain}"

    def run():
        err = subprocess.run(
            ["ffmpeg", "-hide_banner", "-nostdin", "-benchmark", "-filter_threads", str(THREADS),
             "-threads", str(THREADS), "-f", "lavfi", "-i", graph, "-f", "null", "-"],
            check=True, capture_output=True, text=True).stderr
        return float(re.search(r"rtime=([0-9.]+)s", err).group(1))

    return min(run() for _ in range(repeats))


def ffmpeg(rows, frames=60):
    best = {}
    for r in rows:
        if not r[2]:
            continue
        size, chain = r[2]
        null = ffmpeg_seconds(size, "null", frames)
        with_filter = ffmpeg_seconds(size, chain, frames)
        best[r[0]] = max(with_filter - null, 0.0) / frames * 1000.0
    return best


def opencv(rows, repeats=15):
    try:
        import cv2
        import numpy as np
    except ImportError:
        return {}
    cv2.setNumThreads(THREADS)
    rng = np.random.default_rng(1)
    image = rng.integers(0, 4096, size=(H, W, 3), dtype=np.uint16)
    small = image[:540, :960].copy()
    rotation = cv2.getRotationMatrix2D((W / 2, H / 2), 0.5 * 180 / 3.141592653589793, 1.0)
    gains = np.array([[1.1, 0, 0, 100], [0, 0.9, 0, 10], [0, 0, 0.95, 20]], dtype=np.float64)

    def color_rgb():
        rgb = cv2.cvtColor(image, cv2.COLOR_YCrCb2RGB)
        rgb = cv2.transform(rgb, gains)
        return cv2.cvtColor(rgb, cv2.COLOR_RGB2YCrCb)

    ops = {
        "resize": lambda: cv2.resize(small, (W, H), interpolation=cv2.INTER_LINEAR),
        "rotate": lambda: cv2.warpAffine(image, rotation, (W, H), flags=cv2.INTER_LINEAR),
        "flip": lambda: cv2.flip(image, 1),
        "blur4": lambda: cv2.blur(image, (4, 4)),
        "blur64": lambda: cv2.blur(image, (64, 64)),
        "transform": lambda: cv2.transform(image, gains),
        "mosaic": lambda: cv2.resize(cv2.resize(image, (W // 16, H // 16), interpolation=cv2.INTER_AREA),
                                     (W, H), interpolation=cv2.INTER_NEAREST),
        "color_rgb": color_rgb,
    }
    best = {}
    for r in rows:
        if not r[3]:
            continue
        op = ops[r[3]]
        op()
        times = []
        for _ in range(repeats):
            t = time.perf_counter()
            op()
            times.append(time.perf_counter() - t)
        best[r[0]] = min(times) * 1000.0
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    results = {"ours": {}, "ffmpeg": {}, "opencv": {}}
    for round_number in range(args.rounds):
        print(f"round {round_number + 1} of {args.rounds}", file=sys.stderr)
        for peer, measure in (("ours", lambda: ours(args.build, ROWS)), ("ffmpeg", lambda: ffmpeg(ROWS)),
                              ("opencv", lambda: opencv(ROWS))):
            for name, ms in measure().items():
                results[peer][name] = min(results[peer].get(name, ms), ms)

    def cell(peer, name):
        return f"{results[peer][name]:.2f}" if name in results[peer] else "-"

    def ratio(peer, name):
        if name not in results[peer] or name not in results["ours"] or results["ours"][name] == 0:
            return "-"
        return f"{results[peer][name] / results['ours'][name]:.2f}"

    print("| command | ours (ms) | ffmpeg (ms) | OpenCV (ms) | ffmpeg / ours | OpenCV / ours |")
    print("|---|---:|---:|---:|---:|---:|")
    for r in ROWS:
        name = r[0]
        print(f"| {name} | {cell('ours', name)} | {cell('ffmpeg', name)} | {cell('opencv', name)} "
              f"| {ratio('ffmpeg', name)} | {ratio('opencv', name)} |")


if __name__ == "__main__":
    main()
