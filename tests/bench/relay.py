#!/usr/bin/env python3
"""What the relay costs a program that calls OutputDebugString, under Wine.

    TOVREL_BUILD=build TOVREL_DIST=dist python3 tests/bench/relay.py [--count N] [--rounds R]

One writer process makes N calls of OutputDebugStringA ("ods 000000\\r\\n"...)
as fast as it can and reports its calls per second, in three settings per
round: nobody reading the debug output; a bare reader that only hands the
buffer back (the channel's own cost, the baseline); the relay reading it with the
monitor logging (then log.txt is checked byte for byte, and the time until it
holds every string gives the end-to-end rate); the relay reading it with no
monitor (every string counted as dropped). Rounds alternate the settings;
medians are printed, and the ratios against no reader.
"""
import argparse
import os
import signal
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), 'wine'))
sys.path.insert(0, HERE)

from bench import bench, wine_command  # noqa: E402
from throughput import check, settings_with_logging  # noqa: E402


def write_strings(count):
    """Runs the writer; its calls per second."""
    out = bench.wine(bench.driver_exe, 'ods-flood', count, 'ods', timeout=600).stdout.decode()
    values = dict(line.split('=') for line in out.split())
    return float(values['calls_per_s'])


def start_relay():
    errors = os.path.join(bench.tmp, 'relay.err')
    with open(errors, 'wb') as err:
        proc = subprocess.Popen(wine_command(bench.exe('dbgrelay')), env=bench.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=err, start_new_session=True)
    bench.procs.append(proc)   # stopped by bench.down() whatever happens
    deadline = time.time() + 30
    while b'relaying' not in open(errors, 'rb').read():
        check(proc.poll() is None and time.time() < deadline, 'the relay did not start')
        time.sleep(0.05)   # polls a file: no event tells when the relay writes its line
    return proc


def stop_relay(proc):
    os.kill(proc.pid, signal.SIGINT)
    check(proc.wait(30) == 0, 'the relay stopped with an error')


def start_monitor():
    folder = bench.copy_program('monitor')
    with open(os.path.join(folder, 'sys.ini'), 'wb') as f:
        f.write(settings_with_logging())
    proc = bench.start(os.path.join(folder, 'monitor.exe'), cwd=folder)
    rc, _ = bench.driver('mailslot-exists', r'\\.\mailslot\dout', '--timeout', '20000')
    check(rc == 0, 'the monitor made no mailslot')
    return proc, os.path.join(folder, 'log.txt')


def bare_reader(count):
    """Calls per second against a reader that only hands the buffer back."""
    reader = subprocess.Popen(wine_command(bench.driver_exe) + ['dbwin-drain', str(count)], env=bench.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              start_new_session=True)
    bench.procs.append(reader)
    check(reader.stdout.readline().strip() == b'ready', 'the bare reader did not start')
    rate = write_strings(count)
    out = reader.communicate(timeout=60)[0].decode()
    check(reader.returncode == 0, 'the bare reader missed strings: ' + out)
    return rate


def with_monitor(count):
    """Calls per second, and strings per second until log.txt is whole."""
    monitor, log = start_monitor()
    relay = start_relay()
    wanted = b''.join(b'ods %06d\r\n' % i for i in range(count))
    start = time.time()
    rate = write_strings(count)
    deadline = time.time() + 600
    while not os.path.exists(log) or os.path.getsize(log) < len(wanted):
        check(time.time() < deadline, 'log.txt did not fill')
        time.sleep(0.02)   # polls log.txt's size, which no event announces
    delivered = count / (time.time() - start)
    with open(log, 'rb') as f:
        check(f.read() == wanted, 'log.txt holds exactly what was written')
    stop_relay(relay)
    bench.stop(monitor)
    return rate, delivered


def without_monitor(count):
    relay = start_relay()
    rate = write_strings(count)
    stop_relay(relay)
    return rate


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--count', type=int, default=20000)
    parser.add_argument('--rounds', type=int, default=3)
    args = parser.parse_args()
    bench.up()
    try:
        alone, bare, relayed, delivered, dropped = [], [], [], [], []
        for _ in range(args.rounds):
            alone.append(write_strings(args.count))
            bare.append(bare_reader(args.count))
            rate, end_to_end = with_monitor(args.count)
            relayed.append(rate)
            delivered.append(end_to_end)
            dropped.append(without_monitor(args.count))
    finally:
        bench.down()
    median = statistics.median
    print('OutputDebugStringA, %d calls, median of %d rounds' % (args.count, args.rounds))
    print('  no reader:                %8.0f calls/s' % median(alone))
    print('  bare reader:              %8.0f calls/s  ratio %.2f' % (median(bare), median(bare) / median(alone)))
    for label, rates in (('relay + monitor:', relayed), ('relay, no monitor:', dropped)):
        print('  %-24s  %8.0f calls/s  ratio %.2f; %.2f of the bare reader'
              % (label, median(rates), median(rates) / median(alone), median(rates) / median(bare)))
    print('  strings in log.txt (relay + monitor): %.0f/s' % median(delivered))


if __name__ == '__main__':
    main()
