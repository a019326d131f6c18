#!/usr/bin/env python3
"""A long run of the monitor under Wine, looking for leaks.

    TOVREL_BUILD=build TOVREL_DIST=dist python3 tests/bench/soak.py
        [--minutes 60] [--rate 300] [--sample-seconds 15]

The monitor logs a steady stream of numbered 100-byte messages (--rate a
second) from a writer of its own, and once a minute it wears the other of two
skins (through its skin command and open dialog), has its settings dialog
closed with OK, and opens and closes its memory window. Every sample reads
the monitor's handle count and GDI and USER object counts (as far as Wine
counts them) and its windows through the test driver, and its private
(anonymous resident) and resident kilobytes from Linux. The report gives each
figure's first and last value and its slope per hour (least squares over the
samples after the first minute, which holds the start-up), then the handles
held at the end and not at the first sample, by type and name; log.txt is
checked byte for byte at the end.
"""
import argparse
import collections
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), 'wine'))
sys.path.insert(0, HERE)

from bench import bench  # noqa: E402
from flood import Writer, flood_bytes  # noqa: E402
from builders import (CMD_EXIT, CMD_MEMORY, CMD_SETTINGS, CMD_SKIN, FILE_NAME, MEMORY_TITLE, SETTINGS_TITLE,  # noqa: E402
                      SKIN_DIALOG_TITLE, settings_block, solid_bmp)
from throughput import check  # noqa: E402

SIZE = 100


def driver(*args, timeout=30):
    rc, out = bench.driver(*args, timeout=timeout)
    check(rc == 0, 'driver %r failed: %s' % (args, out))
    return out


def wait(predicate, what, timeout=30):
    deadline = time.time() + timeout
    while not predicate():
        check(time.time() < deadline, 'timed out waiting for ' + what)
        time.sleep(0.05)   # a poll of a state only the driver can see


def dialog(pid, title):
    for line in driver('dialogs', pid).splitlines():
        hwnd, visible, caption = line.split('\t', 2)
        if caption == title and visible == '1':
            return hwnd
    return None


def make_skins(folder):
    skins = []
    for name, rgb in (('teal', (0, 128, 128)), ('orange', (230, 120, 20))):
        bmp, msk = os.path.join(folder, name + '.bmp'), os.path.join(folder, name + '.msk')
        with open(bmp, 'wb') as f:
            f.write(solid_bmp(160, 140, rgb))
        made = subprocess.run([os.path.join(bench.native, 'msktool'), 'make', bmp, msk, '--title', name,
                               '--rect', '10,20,150,130'], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        check(made.returncode == 0, 'msktool make: %s' % made.stderr)
        skins.append((name, msk))
    return skins


def exercise(main, pid, skin):
    """One minute's round of the window's features."""
    name, path = skin
    driver('command', main, CMD_SKIN)
    chooser = driver('find-window', '#32770', '--title', SKIN_DIALOG_TITLE, '--pid', pid, '--timeout', 15000).split()[0]
    driver('dlg-set-text', chooser, FILE_NAME, bench.win_path(path))
    driver('click', chooser, 1)
    driver('wait-gone', chooser, '--timeout', 10000)
    wait(lambda: driver('window-info', main).find('title=%s\n' % name) >= 0, 'the %s skin' % name)
    driver('command', main, CMD_SETTINGS)
    wait(lambda: dialog(pid, SETTINGS_TITLE), 'the settings dialog')
    settings = dialog(pid, SETTINGS_TITLE)
    driver('click', settings, 1)
    driver('wait-gone', settings, '--timeout', 10000)
    driver('command', main, CMD_MEMORY)
    wait(lambda: dialog(pid, MEMORY_TITLE), 'the memory window')
    memory = dialog(pid, MEMORY_TITLE)
    driver('post', memory, 0x10, 0, 0)   # WM_CLOSE
    driver('wait-gone', memory, '--timeout', 10000)


def memory_kb(unix_pid):
    """Resident and private (anonymous resident) kilobytes, as Linux counts
    them: Wine leaves its own private-bytes figure at 0."""
    figures = {}
    with open('/proc/%d/status' % unix_pid) as f:
        for line in f:
            if line.startswith(('VmRSS:', 'RssAnon:')):
                figures['rss_kb' if line.startswith('VmRSS') else 'private_kb'] = int(line.split()[1])
    return figures


def sample(pid, unix_pid):
    values = dict(line.split('=') for line in driver('process-counts', pid).split())
    figures = {key: int(values[key]) for key in ('handles', 'gdi', 'user', 'windows')}
    figures.update(memory_kb(unix_pid))
    return figures


def slope_per_hour(points):
    """Least-squares slope of (seconds, value) points, per hour."""
    if len(points) < 2:
        return 0.0
    n = len(points)
    mean_t = sum(t for t, _ in points) / n
    mean_v = sum(v for _, v in points) / n
    spread = sum((t - mean_t) ** 2 for t, _ in points)
    return 3600 * sum((t - mean_t) * (v - mean_v) for t, v in points) / spread if spread else 0.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--minutes', type=float, default=60)
    parser.add_argument('--rate', type=int, default=300)
    parser.add_argument('--sample-seconds', type=float, default=15)
    args = parser.parse_args()
    bench.up()
    samples = []
    try:
        folder = bench.copy_program('monitor')
        skins = make_skins(folder)
        with open(os.path.join(folder, 'sys.ini'), 'wb') as f:
            f.write(settings_block(log=1))
        proc = bench.start(os.path.join(folder, 'monitor.exe'), cwd=folder)
        main_window = driver('find-window', 'TOVRELWND', '--timeout', '10000').split()[0]
        pid = driver('pid-of', main_window).strip()
        slot = r'\\.\mailslot\dout'
        driver('mailslot-exists', slot, '--timeout', '20000')
        writer = Writer(bench, slot, 10 ** 9, SIZE, stop_file=os.path.join(folder, 'stop'), rate=args.rate)
        start = time.time()
        next_round = start
        rounds = 0
        while time.time() - start < args.minutes * 60:
            if time.time() >= next_round:
                exercise(main_window, pid, skins[rounds % 2])
                rounds += 1
                next_round += 60
            samples.append((time.time() - start, sample(pid, proc.pid)))
            if len(samples) == 1:
                first_handles = collections.Counter(driver('process-handles', pid).splitlines())
            time.sleep(args.sample_seconds)   # the sampling period itself
        sent = writer.finish(timeout=120)
        log = os.path.join(folder, 'log.txt')
        wanted = flood_bytes(sent, SIZE)
        wait(lambda: os.path.getsize(log) >= len(wanted), 'log.txt to hold every message', timeout=120)
        with open(log, 'rb') as f:
            check(f.read() == wanted, 'log.txt holds exactly what was sent')
        grown = collections.Counter(driver('process-handles', pid).splitlines()) - first_handles
        driver('command', main_window, CMD_EXIT)
        proc.wait(30)
    finally:
        bench.down()
    print('soak: %.0f minutes, %d messages of %d bytes at %d a second, %d rounds of skin, settings and memory window'
          % (args.minutes, sent, SIZE, args.rate, rounds))
    later = [(t, s) for t, s in samples if t >= 60] or samples
    for key in ('handles', 'gdi', 'user', 'windows', 'private_kb', 'rss_kb'):
        if not any(s[key] for _, s in samples):
            print('  %-10s not counted by this system' % key)
            continue
        print('  %-10s first %10d  last %10d  slope %+10.1f per hour'
              % (key, samples[0][1][key], samples[-1][1][key], slope_per_hour([(t, s[key]) for t, s in later])))
    for handle, count in grown.most_common():
        print('  grown      %+d %s' % (count, handle.replace('\t', ' ').strip()))


if __name__ == '__main__':
    main()
