#!/usr/bin/env python3
"""Start-up of the monitor to its skinned window and its mailslot under Wine,
against a minimal Win32 window program measured in the same run, and the
default skin's outline build (BuildSkinRegion) timed inside Wine.

    TOVREL_BUILD=build TOVREL_DIST=dist python3 tests/bench/startup.py [--rounds N] [--baseline OLD.exe]

Each round has the driver start the program (CreateProcess) and time, inside
Wine, until its window shows: for the monitor, the main window carrying the
default skin's title and size, and then until its mailslot can be opened; for
the baseline (minwin.exe: register a class, create and show a popup, run the
loop), its window. The driver polls every millisecond; rounds alternate
between the programs, and the medians and their ratios are printed. Then
the same rounds again the way earlier figures were taken, for comparison.
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


def time_start(exe, folder, window_class, title, *options):
    """Milliseconds from CreateProcess to the window, and to the window and
    whatever else `options` ask for; the program is ended afterwards."""
    rc, out = bench.driver('time-start', bench.win_path(exe), bench.win_path(folder), window_class, title, *options,
                           timeout=60)
    check(rc == 0, '%s did not start: %s' % (os.path.basename(exe), out))
    values = dict(line.split('=', 1) for line in out.split() if '=' in line)
    return float(values['window_ms']), float(values['ready_ms'])


def time_from_outside(exe, folder, window_class, title, size=None):
    """Milliseconds from starting `exe` with wine until a driver started after
    it finds its window (of that size); how the figures before 2026-12-10 were
    taken. The driver's own start overlaps the program's and counts too."""
    started = time.perf_counter()
    proc = bench.start(exe, cwd=folder)
    try:
        while True:
            rc, out = bench.driver('find-window', window_class, '--title', title, '--timeout', 20000)
            check(rc == 0, '%s did not show its window' % os.path.basename(exe))
            hwnd = out.split()[0]
            rc, info = bench.driver('window-info', hwnd)
            rect = [int(v) for v in info.split('rect=')[1].split('\n')[0].split()]
            if size is None or (rect[2] - rect[0], rect[3] - rect[1]) == size:
                break
            check(time.perf_counter() - started < 20, '%s never took its size' % os.path.basename(exe))
        elapsed = (time.perf_counter() - started) * 1000
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

        monitor_options = ('--width', 400, '--height', 336, '--slot', r'\\.\mailslot\dout')
        programs = [('minimal window program', minwin, 'TOVRELMINWND', 'minwin', ())]
        programs += [(label, os.path.join(folder, 'monitor.exe'), 'TOVRELWND', 'ぬぺろ', monitor_options)
                     for label, folder in monitors]
        # One warm-up of each: the first start in a fresh prefix pays for font
        # caches and the like, which no program should carry.
        for _, exe, window_class, title, options in programs:
            time_start(exe, os.path.dirname(exe), window_class, title, *options)
        times = {label: [] for label, _, _, _, _ in programs}
        for _ in range(args.rounds):
            for label, exe, window_class, title, options in programs:
                times[label].append(time_start(exe, os.path.dirname(exe), window_class, title, *options))
        base = statistics.median(t[0] for t in times['minimal window program'])
        print('start-up, median of %d rounds, from CreateProcess:' % args.rounds)
        print('  minimal window program   window %7.1f ms' % base)
        for label, _, _, _, _ in programs[1:]:
            window = statistics.median(t[0] for t in times[label])
            ready = statistics.median(t[1] for t in times[label])
            print('  %-24s skinned window %7.1f ms (%.2f of minimal), and its mailslot %7.1f ms (%.2f of minimal)'
                  % (label, window, window / base, ready, ready / base))

        outside = {label: [] for label, _, _, _, _ in programs}
        for _ in range(args.rounds):
            for label, exe, window_class, title, options in programs:
                size = (400, 336) if options else None
                outside[label].append(time_from_outside(exe, os.path.dirname(exe), window_class, title, size))
        base = statistics.median(outside['minimal window program'])
        print('the same started with wine and found by a driver started after it (how earlier figures were taken):')
        for label, figures in outside.items():
            print('  %-24s %7.1f ms (%.2f of minimal)' % (label, statistics.median(figures),
                                                           statistics.median(figures) / base))

        result = bench.wine(regionbench, args.region_rounds, timeout=300)
        check(result.returncode == 0, 'regionbench failed: %r' % result.stderr)
        values = dict(line.split('=', 1) for line in result.stdout.decode().split() if '=' in line)
        print('BuildSkinRegion of the default skin under Wine: %s ms per build (%s rounds, %s rectangles)'
              % (values['ms_per_build'], values['rounds'], values['region_rects']))
    finally:
        bench.down()


if __name__ == '__main__':
    main()
