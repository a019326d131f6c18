#!/usr/bin/env python3
"""The monitor's mailslot input under Wine, against a bare drain loop measured
in the same run; how long the window goes without answering meanwhile; and
what a quiet monitor costs.

    TOVREL_BUILD=build TOVREL_DIST=dist python3 tests/bench/throughput.py
        [--count N] [--size B] [--big 2000x32768,20x65536] [--quiet-seconds S]
        [--baseline OLD/monitor.exe [--baseline-count N]]

Flood cases: one writer sends N numbered messages of B bytes as fast as it
can, then one short marker. The monitor runs with logging on; its time is from
the first write until log.txt holds every byte (then checked byte for byte)
and the pane shows exactly what the receive-buffer rule gives for all that was
sent. The bare drain loop is the same writer against a reader that only
creates the mailslot and calls GetMailslotInfo and ReadFile. Meanwhile a
second driver process sends WM_NULL to the monitor every 5 ms; the longest
round trip is the longest time the window could not answer.

Quiet case: the CPU time the monitor's process uses in a minute with no
messages (its poll timer still ticking), in rounds that alternate between
the monitors.

With --baseline, every case runs again on another monitor.exe (an older
build, say) in the same run; its 100-byte flood uses --baseline-count
messages, since a slow monitor would take hours over the full count.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), 'wine'))

from bench import bench, wine_command  # noqa: E402
from flood import flood_bytes, pane_after  # noqa: E402

SLOT = r'\\.\mailslot\dout'
MARKER = b'-- end of flood --\r\n'


def check(ok, what):
    if not ok:
        raise SystemExit('benchmark failed: ' + what)


def settings_with_logging():
    block = bytearray(412)
    block[260:261] = b'.'
    block[324:328] = b'dout'
    block[392:396] = (12).to_bytes(4, 'little')
    block[396:400] = (100).to_bytes(4, 'little')
    block[404:409] = bytes([0, 0, 1, 1, 1])
    return bytes(block)


def driver_values(out):
    return {k: int(v) for k, _, v in (line.partition('=') for line in out.split()) if v}


def run_drain(count, size):
    rc, out = bench.driver('drain-bench', r'\\.\mailslot\tvdrain', count, size, '--timeout', 1800000, timeout=1900)
    check(rc == 0, 'bare drain loop: %s' % out)
    return driver_values(out)['ms'] / 1000.0


def run_external_drain(count, size, one_call=False):
    """The bare drain with its writer in a process of its own, as the
    monitor's writer is: seconds from the first message to the last. With
    one_call it only reads, one call a message, and never asks the slot."""
    slot = r'\\.\mailslot\tvdrainx'
    reader = subprocess.Popen(wine_command(bench.driver_exe) + ['drain-bench', slot, str(count), str(size), '--external']
                              + (['--one-call'] if one_call else []),
                              env=bench.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, start_new_session=True)
    bench.procs.append(reader)
    check(reader.stdout.readline().strip() == b'ready', 'the external drain did not start')
    rc, out = bench.driver('mailslot-flood', slot, count, size, timeout=1900)
    check(rc == 0, 'flood into the external drain: %s' % out)
    out = reader.communicate(timeout=600)[0].decode()
    check(reader.returncode == 0, 'external drain: %s' % out)
    return driver_values(out)['ms'] / 1000.0


class Monitor:
    """A monitor.exe in a folder of its own, with logging on."""

    def __init__(self, exe, ini):
        self.folder = tempfile.mkdtemp(prefix='monitor-', dir=bench.tmp)
        shutil.copy2(exe, os.path.join(self.folder, 'monitor.exe'))
        with open(os.path.join(self.folder, 'sys.ini'), 'wb') as f:
            f.write(ini)
        self.log = os.path.join(self.folder, 'log.txt')
        self.proc = bench.start(os.path.join(self.folder, 'monitor.exe'), cwd=self.folder)
        rc, window = bench.driver('find-window', 'TOVRELWND', '--timeout', 15000)
        check(rc == 0, 'monitor window')
        self.window = window.split()[0]
        rc, out = bench.driver('mailslot-exists', SLOT, '--timeout', 10000)
        check(rc == 0, 'monitor mailslot')
        rc, children = bench.driver('children', self.window)
        self.pane = [line.split('\t')[2] for line in children.splitlines() if line.startswith('100\t')][0]

    def logged(self):
        return os.path.getsize(self.log) if os.path.exists(self.log) else 0

    def cpu_seconds(self):
        """CPU time of all the process's threads, in nanoseconds as the
        scheduler counts it (/proc's user and system times tick in 10 ms)."""
        total = 0
        tasks = '/proc/%d/task' % self.proc.pid
        for task in os.listdir(tasks):
            try:
                with open(os.path.join(tasks, task, 'schedstat')) as f:
                    total += int(f.read().split()[0])
            except OSError:
                pass  # a thread that ended meanwhile
        return total / 1e9

    def close(self):
        bench.driver('command', self.window, 40003)
        try:
            self.proc.wait(30)
        finally:
            bench.stop(self.proc)


def run_flood(exe, count, size, deadline_s):
    """Rate of one flood through the monitor, and its longest round trip."""
    monitor = Monitor(exe, settings_with_logging())
    pinger = None
    try:
        stop = os.path.join(monitor.folder, 'stop-ping')
        pinger = subprocess.Popen(wine_command(bench.driver_exe) + ['ping-loop', monitor.window, str(int(deadline_s * 1000)),
                                   '--stop-file', bench.win_path(stop)],
                                  env=bench.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  start_new_session=True)
        time.sleep(1.0)  # the pinger is up before the flood starts
        sent = flood_bytes(count, size) + MARKER
        wanted_pane = pane_after(sent)
        start = time.time()
        rc, out = bench.driver('mailslot-flood', SLOT, count, size, timeout=deadline_s)
        check(rc == 0, 'flood: %s' % out)
        rc, out = bench.driver('mailslot-write', SLOT, '--hex', MARKER.hex(), timeout=deadline_s)
        check(rc == 0, 'marker: %s' % out)
        written_s = time.time() - start
        while True:
            if monitor.logged() >= len(sent):
                rc, text = bench.driver_raw('get-text', monitor.pane, timeout=120)
                if text == wanted_pane:
                    break
            check(time.time() - start < deadline_s, 'the monitor took longer than %d s' % deadline_s)
            time.sleep(0.02)  # nothing signals a file's growth across Wine: poll it
        elapsed = time.time() - start
        open(stop, 'w').close()
        pings = driver_values(pinger.communicate(timeout=120)[0].decode())
        with open(monitor.log, 'rb') as f:
            check(f.read() == sent, 'log.txt differs from what was sent')
        return dict(seconds=elapsed, written=written_s, longest=pings['max'], over=pings['over250'],
                    pings=pings['count'])
    finally:
        if pinger and pinger.poll() is None:
            os.killpg(pinger.pid, 9)
            pinger.wait(10)
        monitor.close()


def run_quiet(exe, seconds):
    """CPU seconds per minute of a monitor that receives nothing."""
    monitor = Monitor(exe, settings_with_logging())
    try:
        time.sleep(2.0)  # past start-up and the first poll, which creates the slot
        before, t0 = monitor.cpu_seconds(), time.time()
        time.sleep(seconds)  # the measured stretch itself
        used, spent = monitor.cpu_seconds() - before, time.time() - t0
        return used * 60.0 / spent
    finally:
        monitor.close()


def flood_line(label, count, size, drain_s, result):
    drain_rate = count / drain_s if drain_s > 0 else float('inf')
    rate = count / result['seconds']
    return ('%-9s %8d x %7d B  drain %9.0f msg/s  monitor %9.0f msg/s  ratio %7.5f  '
            'longest round trip %6d ms (%d of %d pings over 250 ms)'
            % (label, count, size, drain_rate, rate, rate / drain_rate, result['longest'], result['over'],
               result['pings']))


def parse_big(text):
    cases = []
    for item in filter(None, text.split(',')):
        count, _, size = item.partition('x')
        cases.append((int(count), int(size)))
    return cases


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--count', type=int, default=100000, help='0 leaves out the 100-byte flood')
    parser.add_argument('--size', type=int, default=100)
    # Wine's mailslots keep messages of up to 64 KiB whole and refuse writes
    # of much more, so larger cases run only on Windows.
    parser.add_argument('--big', default='2000x32768,20x65536', help='further COUNTxSIZE floods ("" for none)')
    parser.add_argument('--quiet-seconds', type=int, default=60, help='0 leaves out the quiet case')
    parser.add_argument('--quiet-rounds', type=int, default=2)
    parser.add_argument('--monitor', default=None, help='monitor.exe to measure (default: the dist build)')
    parser.add_argument('--baseline', default=None, help='a second monitor.exe measured the same way')
    parser.add_argument('--baseline-count', type=int, default=5000)
    parser.add_argument('--deadline', type=int, default=7200, help='seconds allowed for one flood')
    parser.add_argument('--rounds', type=int, default=1, help='flood rounds, alternating the monitors')
    args = parser.parse_args()
    bench.up()
    lines = []
    try:
        monitors = [('new', args.monitor or bench.exe('monitor'), args.count)]
        if args.baseline:
            monitors.append(('baseline', os.path.abspath(args.baseline), args.baseline_count))
        floods = ([(args.count, args.size)] if args.count > 0 else []) + parse_big(args.big)
        # Flood rounds alternate between the monitors too, each round with a
        # bare drain of its own; the summary gives the medians.
        rounds = {}
        for _ in range(args.rounds):
            drains = {}
            for i, (count, size) in enumerate(floods):
                for label, exe, first_count in monitors:
                    n = first_count if i == 0 and args.count > 0 else count
                    if (n, size) not in drains:
                        drains[(n, size)] = (run_drain(n, size), run_external_drain(n, size),
                                             run_external_drain(n, size, one_call=True))
                    result = run_flood(exe, n, size, args.deadline)
                    print(flood_line(label, n, size, drains[(n, size)][0], result), flush=True)
                    rate = n / result['seconds']
                    rounds.setdefault((label, n, size), []).append(
                        [rate * drain / n for drain in drains[(n, size)]] + [result['longest']])
        for (label, n, size), figures in rounds.items():
            columns = [sorted(column) for column in zip(*figures)]
            ratios = ['median %.2f (rounds %s)' % (statistics.median(c), ', '.join('%.2f' % r for r in c))
                      for c in columns[:3]]
            longest = columns[3]
            lines.append('%-9s %8d x %7d B  ratio to the drain: %s; to the drain with its writer in another '
                         'process: %s; to that drain reading one call a message: %s; longest round trip: '
                         'median %d ms, most %d ms' % ((label, n, size) + tuple(ratios)
                                                       + (statistics.median(longest), longest[-1])))
        # Quiet rounds alternate between the monitors, so drift in the
        # machine's load falls on both alike.
        quiet = {label: [] for label, _, _ in monitors}
        for _ in range(args.quiet_rounds if args.quiet_seconds > 0 else 0):
            for label, exe, _ in monitors:
                quiet[label].append(run_quiet(exe, args.quiet_seconds))
                print('%-9s quiet round: %.4f s CPU per minute' % (label, quiet[label][-1]), flush=True)
        for label, figures in quiet.items():
            if figures:
                lines.append('%-9s quiet: %.4f s CPU per minute (mean of %d rounds of %d s)'
                             % (label, sum(figures) / len(figures), len(figures), args.quiet_seconds))
    finally:
        bench.down()
    print('\n'.join(['', 'summary:'] + lines))


if __name__ == '__main__':
    main()
