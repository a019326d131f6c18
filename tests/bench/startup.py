#!/usr/bin/env python3
"""Start-up of the monitor to its skinned window under Wine, against a minimal
Win32 window program measured in the same run, and the default skin's outline
build (BuildSkinRegion) timed inside Wine.

    TOVREL_BUILD=build TOVREL_DIST=dist python3 tests/bench/startup.py [--rounds N]

Each round starts the program and times until its window is found: for the
monitor, the main window carrying the default skin's title and size; for the
baseline (minwin.exe: register a class, create and show a popup, run the
loop), its window. Both are found the same way (the driver polls every 20 ms),
rounds alternate between the two, and the medians and their ratio are printed.
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), 'wine'))

from bench import bench  # noqa: E402


def check(ok, what):
    if not ok:
        raise SystemExit('benchmark failed: ' + what)


def time_start(exe, cwd, window_class, title, size=None):
    """Seconds from starting `exe` until its window of that class and title
    (and size) exists; the program is stopped and its window gone afterwards."""
    started = time.perf_counter()
    proc = bench.start(exe, cwd=cwd)
    try:
        while True:
            rc, out = bench.driver('find-window', window_class, '--title', title, '--timeout', 20000)
            check(rc == 0, '%s did not show its window' % os.path.basename(exe))
            hwnd = out.split()[0]
            if size is None:
                break
            rc, info = bench.driver('window-info', hwnd)
            rect = [int(v) for v in info.split('rect=')[1].split('\n')[0].split()]
            if (rect[2] - rect[0], rect[3] - rect[1]) == size:
                break
            check(time.perf_counter() - started < 20, 'the monitor never took its skin')
        elapsed = time.perf_counter() - started
    finally:
        bench.stop(proc)
    rc, _ = bench.driver('wait-gone', hwnd, '--timeout', 10000)
    check(rc == 0, 'window of %s stayed' % os.path.basename(exe))
    return elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--rounds', type=int, default=10)
    parser.add_argument('--region-rounds', type=int, default=200)
    parser.add_argument('--baseline', default=None, help='a second monitor.exe started the same way')
    args = parser.parse_args()
    bench.up()
    try:
        bin_dir = os.path.join(bench.build, 'win64', 'bin')
        minwin = os.path.join(bin_dir, 'minwin.exe')
        regionbench = os.path.join(bin_dir, 'regionbench.exe')
        check(os.path.exists(minwin) and os.path.exists(regionbench), 'build the win64 tree first')
        monitors = [('monitor', bench.copy_program('monitor'))]
        if args.baseline:
            folder = tempfile.mkdtemp(prefix='baseline-', dir=bench.tmp)
            shutil.copy2(args.baseline, os.path.join(folder, 'monitor.exe'))
            monitors.append(('baseline monitor', folder))

        # One warm-up of each: the first start in a fresh prefix pays for font
        # caches and the like, which no program should carry.
        time_start(minwin, None, 'TOVRELMINWND', 'minwin')
        for _, folder in monitors:
            time_start(os.path.join(folder, 'monitor.exe'), folder, 'TOVRELWND', 'ぬぺろ', (400, 336))
        base, skinned = [], {label: [] for label, _ in monitors}
        for _ in range(args.rounds):
            base.append(time_start(minwin, None, 'TOVRELMINWND', 'minwin'))
            for label, folder in monitors:
                skinned[label].append(
                    time_start(os.path.join(folder, 'monitor.exe'), folder, 'TOVRELWND', 'ぬぺろ', (400, 336)))
        b = statistics.median(base)
        print('start-up, median of %d rounds:' % args.rounds)
        print('  minimal window program   %7.1f ms' % (b * 1000))
        for label, figures in skinned.items():
            m = statistics.median(figures)
            print('  %-24s %7.1f ms  ratio to minimal %5.2f' % (label + ', skinned window', m * 1000, m / b))

        result = bench.wine(regionbench, args.region_rounds, timeout=300)
        check(result.returncode == 0, 'regionbench failed: %r' % result.stderr)
        values = dict(line.split('=', 1) for line in result.stdout.decode().split() if '=' in line)
        print('BuildSkinRegion of the default skin under Wine: %s ms per build (%s rounds, %s rectangles)'
              % (values['ms_per_build'], values['rounds'], values['region_rects']))
    finally:
        bench.down()


if __name__ == '__main__':
    main()
