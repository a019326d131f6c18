#!/usr/bin/env python3
"""Throughput of the monitor's mailslot input under Wine, against a bare
drain loop measured in the same run.

    TOVREL_BUILD=build TOVREL_DIST=dist python3 tests/bench/throughput.py [--count N] [--size B]

One writer sends N numbered messages of B bytes (default 100,000 of 100) as
fast as it can. The monitor runs with logging on; its time is from the first
write until log.txt holds every byte (checked byte for byte) and the pane
shows the last message. The baseline is the same writer against a reader that
only creates the mailslot and calls GetMailslotInfo and ReadFile. Meanwhile a
second driver process times WM_NULL round trips to the monitor's main window;
the longest shows how long one poll tick kept the window from answering.
"""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), 'wine'))

from bench import bench  # noqa: E402

SLOT = r'\\.\mailslot\dout'


def flood_message(index, size):
    """The bytes the driver's flood writes as message `index`."""
    head = b'%09d ' % index
    return head + b'.' * (size - len(head) - 2) + b'\r\n'


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


def driver_value(out, key):
    for line in out.splitlines():
        name, _, value = line.partition('=')
        if name == key:
            return int(value)
    raise SystemExit('no %s in driver output: %r' % (key, out))


def run_drain(count, size):
    rc, out = bench.driver('drain-bench', r'\\.\mailslot\tvdrain', count, size, '--timeout', 1800000, timeout=1900)
    check(rc == 0, 'bare drain loop: %s' % out)
    return driver_value(out, 'ms') / 1000.0


def run_monitor(count, size, deadline_s):
    folder = bench.copy_program('monitor')
    with open(os.path.join(folder, 'sys.ini'), 'wb') as f:
        f.write(settings_with_logging())
    proc = bench.start(os.path.join(folder, 'monitor.exe'), cwd=folder)
    pinger = None
    try:
        rc, window = bench.driver('find-window', 'TOVRELWND', '--timeout', 15000)
        check(rc == 0, 'monitor window')
        window = window.strip()
        rc, out = bench.driver('mailslot-exists', SLOT, '--timeout', 10000)
        check(rc == 0, 'monitor mailslot')
        rc, children = bench.driver('children', window)
        pane = [line.split('\t')[2] for line in children.splitlines() if line.startswith('100\t')][0]
        log = os.path.join(folder, 'log.txt')
        stop = os.path.join(folder, 'stop-ping')
        pinger = subprocess.Popen(['wine', bench.driver_exe, 'ping-loop', window, str(int(deadline_s * 1000)),
                                   '--stop-file', bench.win_path(stop)],
                                  env=bench.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  start_new_session=True)
        time.sleep(1.0)  # the pinger is up before the flood starts

        total = count * size
        last = flood_message(count - 1, size)
        start = time.time()
        rc, out = bench.driver('mailslot-flood', SLOT, count, size, timeout=deadline_s)
        check(rc == 0, 'flood: %s' % out)
        written_s = time.time() - start
        while True:
            logged = os.path.getsize(log) if os.path.exists(log) else 0
            if logged >= total:
                rc, text = bench.driver_raw('get-text', pane, timeout=120)
                if text.endswith(last):
                    break
            check(time.time() - start < deadline_s, 'the monitor took longer than %d s' % deadline_s)
            time.sleep(0.05)
        elapsed = time.time() - start

        open(stop, 'w').close()
        ping_out = pinger.communicate(timeout=120)[0].decode()
        with open(log, 'rb') as f:
            data = f.read()
        expected = b''.join(flood_message(i, size) for i in range(count))
        check(data == expected, 'log.txt differs from what was sent (%d of %d bytes)' % (len(data), total))
        bench.driver('command', window, 40003)
        proc.wait(30)
        return elapsed, written_s, driver_value(ping_out, 'max'), driver_value(ping_out, 'over250'), \
            driver_value(ping_out, 'count')
    finally:
        if pinger and pinger.poll() is None:
            os.killpg(pinger.pid, 9)
            pinger.wait(10)
        bench.stop(proc)


def measure_costs():
    """What the monitor does per message besides reading, measured alone:
    one pane refresh at several text lengths, and one log append."""
    costs = []
    for length in (100, 16000, 32767):
        rc, out = bench.driver('refresh-cost', length, 50, timeout=300)
        check(rc == 0, 'refresh-cost')
        costs.append(('pane refresh, %5d-byte text' % length, out.split('=')[1].strip()))
    rc, out = bench.driver('append-cost', bench.win_path(os.path.join(bench.tmp, 'append-cost.txt')), 100, 5000,
                           timeout=300)
    check(rc == 0, 'append-cost')
    costs.append(('log append (open, seek, write 100 B, close)', out.split('=')[1].strip()))
    return costs


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--count', type=int, default=100000)
    parser.add_argument('--size', type=int, default=100)
    parser.add_argument('--deadline', type=int, default=7200, help='seconds allowed for the monitor')
    args = parser.parse_args()
    bench.up()
    try:
        drain_s = run_drain(args.count, args.size)
        monitor_s, written_s, longest_ms, over, pings = run_monitor(args.count, args.size, args.deadline)
        costs = measure_costs()
    finally:
        bench.down()
    mb = args.count * args.size / 1e6
    drain_rate = args.count / drain_s if drain_s > 0 else float('inf')
    monitor_rate = args.count / monitor_s
    print('messages: %d of %d bytes (%.1f MB), one writer' % (args.count, args.size, mb))
    print('bare drain loop: %8.2f s  %9.0f msg/s  %6.2f MB/s' % (drain_s, drain_rate, mb / max(drain_s, 1e-9)))
    print('monitor, logging: %7.2f s  %9.0f msg/s  %6.3f MB/s  (writer done after %.2f s)'
          % (monitor_s, monitor_rate, mb / monitor_s, written_s))
    print('ratio monitor/drain: %.5f' % (monitor_rate / drain_rate))
    print('longest WM_NULL round trip during the flood: %d ms (%d of %d pings over 250 ms)'
          % (longest_ms, over, pings))
    for what, ms in costs:
        print('%-45s %s ms' % (what, ms))


if __name__ == '__main__':
    main()
