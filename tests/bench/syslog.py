#!/usr/bin/env python3
"""syslogrelay's rate under Wine, beside a bare Winsock receiver.

    TOVREL_BUILD=build TOVREL_DIST=dist python3 tests/bench/syslog.py [--count N] [--rounds R]

Per round, alternating: N RFC 5424 messages sent as fast as Python sends
them, over UDP and over one TCP connection (LF-ended), once to the bare
receiver (the driver's syslog-drain: it only counts them) and once to
syslogrelay with the monitor logging (the time until log.txt holds every
line; log.txt is checked line for line). Then a steady 5,000 UDP messages a
second for 5 s into the relay, and what of them log.txt lacks. Medians are
printed, with the ratios against the bare receiver. Loopback only.
"""
import argparse
import os
import signal
import socket
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), 'wine'))
sys.path.insert(0, HERE)

from bench import bench, wine_command  # noqa: E402
from relay import start_monitor  # noqa: E402
from test_syslog import free_port  # noqa: E402
from throughput import check  # noqa: E402


def message(i):
    return b'<13>1 2026-12-10T10:00:00.000Z bench app - - - message %06d' % i


def send(port, count, tcp, rate=0):
    """Sends `count` messages (at `rate` a second when given); returns when sent."""
    if tcp:
        conn = socket.create_connection(('127.0.0.1', port), timeout=30)
        conn.sendall(b''.join(message(i) + b'\n' for i in range(count)))
        conn.close()
        return
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    start = time.time()
    for i in range(count):
        if rate and i % 50 == 0:
            ahead = start + i / rate - time.time()
            if ahead > 0:
                time.sleep(ahead)   # pacing: the next 50 messages are due then
        udp.sendto(message(i), ('127.0.0.1', port))
    udp.close()


def bare(count, tcp):
    """Messages a second into the bare receiver, and how many it got."""
    port = free_port()
    drain = subprocess.Popen(wine_command(bench.driver_exe) + ['syslog-drain', 'tcp' if tcp else 'udp', str(port),
                                                               str(count), '--idle', '2000'],
                             env=bench.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, start_new_session=True)
    bench.procs.append(drain)
    check(drain.stdout.readline().strip() == b'listening', 'the bare receiver did not start')
    start = time.time()
    send(port, count, tcp)
    line = drain.stdout.readline().decode()   # printed at the last message (or after 2 s without one)
    elapsed = time.time() - start
    received = int(line.split('=')[1])
    if received < count:
        elapsed -= 2.0   # it waited the idle time out
    drain.wait(30)
    return received / elapsed, received


def start_syslogrelay(port):
    errors = os.path.join(bench.tmp, 'syslogrelay.err')
    with open(errors, 'wb') as err:
        proc = subprocess.Popen(wine_command(bench.exe('syslogrelay')) + ['--udp', str(port), '--tcp', str(port)],
                                env=bench.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err,
                                start_new_session=True)
    bench.procs.append(proc)
    deadline = time.time() + 30
    while b'listening on' not in open(errors, 'rb').read():
        check(proc.poll() is None and time.time() < deadline, 'syslogrelay did not start')
        time.sleep(0.05)   # polls a file: no event tells when the relay writes its line
    return proc, errors


def relayed(count, tcp, rate=0):
    """Messages a second into log.txt through syslogrelay, and how many arrived."""
    monitor, log = start_monitor()
    port = free_port()
    relay, errors = start_syslogrelay(port)
    line = lambda i: b'[bench app] message %06d\r\n' % i
    size = sum(len(line(i)) for i in range(count))
    start = time.time()
    send(port, count, tcp, rate)
    last_size, last_change = -1, time.time()
    while True:
        now_size = os.path.getsize(log) if os.path.exists(log) else 0
        if now_size != last_size:
            last_size, last_change = now_size, time.time()
        if now_size >= size or time.time() - last_change > 3:
            break
        time.sleep(0.005)   # polls log.txt's size, which no event announces
    elapsed = last_change - start
    with open(log, 'rb') as f:
        lines = f.read().split(b'\r\n')[:-1]
    check(lines == sorted(set(lines)), 'log.txt holds each message once, in order')
    check(not tcp or len(lines) == count, 'TCP lost nothing')
    os.kill(relay.pid, signal.SIGINT)
    relay.wait(30)
    bench.stop(monitor)
    return len(lines) / elapsed, len(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--count', type=int, default=50000)
    parser.add_argument('--rounds', type=int, default=3)
    args = parser.parse_args()
    bench.up()
    results = {key: [] for key in ('bare udp', 'relay udp', 'bare tcp', 'relay tcp')}
    got = {key: [] for key in results}
    steady = []
    try:
        for _ in range(args.rounds):
            for tcp in (False, True):
                kind = 'tcp' if tcp else 'udp'
                for name, run in (('bare', bare), ('relay', relayed)):
                    rate, arrived = run(args.count, tcp)
                    results['%s %s' % (name, kind)].append(rate)
                    got['%s %s' % (name, kind)].append(arrived)
            steady.append(25000 - relayed(25000, False, rate=5000)[1])
    finally:
        bench.down()
    median = statistics.median
    print('syslog, %d messages of ~60 bytes, median of %d rounds' % (args.count, args.rounds))
    for kind in ('udp', 'tcp'):
        b, r = median(results['bare ' + kind]), median(results['relay ' + kind])
        print('  %s: bare receiver %8.0f msg/s (%d arrived), relay into log.txt %8.0f msg/s (%d arrived); '
              'ratio %.2f' % (kind.upper(), b, median(got['bare ' + kind]), r, median(got['relay ' + kind]), r / b))
    print('  steady 5,000 UDP messages/s for 5 s: %s lost (per round)' % ', '.join(str(n) for n in steady))


if __name__ == '__main__':
    main()
