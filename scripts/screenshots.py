#!/usr/bin/env python3
"""Pictures for the README: drives the real win64 programs under Wine and
Xvfb and writes PNGs of them into a folder (default docs/).

    TOVREL_BUILD=build TOVREL_DIST=dist python3 scripts/screenshots.py [FOLDER]

monitor.png (a few lines of text on the default skin), monitor-menu.png (its
context menu open), settings.png, memory.png, skinmaker.png (a bitmap in the
preview while a rubber band is dragged).
"""
import os
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, 'tests', 'wine'))

from bench import WineTestCase, bench  # noqa: E402
from test_dialogs import MEMORY_TITLE, MonitorSession, settings_block  # noqa: E402
from test_maker import MakerSession  # noqa: E402

WM_RBUTTONDOWN, WM_KEYDOWN, VK_ESCAPE = 0x204, 0x100, 0x1B
LINES = ['Tovrel へようこそ', 'build: 0 errors, 2 warnings', 'connect 192.0.2.10:8080 ... ok',
         'frame 1024  16.6 ms', 'ワーカー 3 を開始しました', 'done.']


class Shots(WineTestCase):
    """The bench's helpers, outside a test run."""

    def runTest(self):
        pass

    def rect(self, hwnd):
        return tuple(int(v) for v in self.window_info(hwnd)['rect'].split())

    def save(self, name, *rects):
        """The union of `rects` from a screenshot, once two in a row agree
        (painting reaches X a little after the windows change)."""
        left = min(r[0] for r in rects)
        top = min(r[1] for r in rects)
        right = max(r[2] for r in rects)
        bottom = max(r[3] for r in rects)
        crop = '%dx%d+%d+%d' % (right - left, bottom - top, left, top)
        path = os.path.join(self.folder, name)
        previous = None
        for _ in range(20):
            time.sleep(0.3)
            shot = self.screenshot('shot')
            subprocess.run(['convert', shot, '-crop', crop, '+repage', '-strip', path], check=True, timeout=30)
            with open(path, 'rb') as f:
                data = f.read()
            if data == previous:
                break
            previous = data
        print(path)

    def monitor_shots(self):
        monitor = MonitorSession(self, settings_block(log=1))
        monitor.write_lines(monitor.slot, *LINES)
        monitor.wait_text(LINES[-1])
        window = self.rect(monitor.main)
        self.save('monitor.png', window)

        # The menu opens at the cursor: point at the skin beside the pane.
        self.xdotool('mousemove', window[0] + 330, window[1] + 120)
        self.driver_ok('post', monitor.main, WM_RBUTTONDOWN, 0, 0)
        popup, menu = self.driver_ok('popup-menu', '--timeout', 10000).split('\n')[:2]
        self.xdotool('mousemove', 2, 2)
        self.save('monitor-menu.png', window, tuple(int(v) for v in menu.split()))
        self.driver_ok('post', popup, WM_KEYDOWN, VK_ESCAPE, 0)
        self.driver_ok('popup-gone', '--timeout', 10000)

        dialog = monitor.open_settings()
        self.save('settings.png', self.rect(dialog))
        monitor.close_dialog(dialog, 2)

        self.driver_ok('command', monitor.main, 40007)
        memory = monitor.wait_dialog(MEMORY_TITLE)
        self.save('memory.png', self.rect(memory))
        monitor.close_dialog(memory, 1013)
        monitor.exit_and_read_settings()

    def maker_shots(self, bitmap):
        maker = MakerSession(self)
        maker.browse(bitmap)
        maker.find_preview(self.bench.win_path(bitmap))
        self.driver_ok('move-window', maker.preview, 460, 40)
        self.driver_ok('dlg-set-text', maker.dialog, 1010, 'ぬぺろ')       # the title
        maker.sync()
        ox, oy = maker.client_origin()
        self.xdotool('mousemove', ox + 6, oy + 6, 'mousedown', 1, 'sleep', 0.1,
                     'mousemove', ox + 200, oy + 240, 'sleep', 0.1, 'mousemove', ox + 246, oy + 287, 'sleep', 0.2)
        try:
            maker.sync()
            self.save('skinmaker.png', self.rect(maker.dialog), self.rect(maker.preview))
        finally:
            self.xdotool('mouseup', 1)


def main():
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(REPO, 'docs'))
    os.makedirs(folder, exist_ok=True)
    bench.up()
    shots = Shots()
    shots.folder = folder
    try:
        shots.setUp()
        bitmap = os.path.join(bench.tmp, 'default.bmp')
        subprocess.run([os.path.join(bench.native, 'msktool'), 'default', bitmap + '.msk'], check=True, timeout=60)
        subprocess.run([os.path.join(bench.native, 'msktool'), 'extract', bitmap + '.msk', bitmap], check=True,
                       timeout=60)
        shots.monitor_shots()
        shots.maker_shots(bitmap)
    finally:
        shots.doCleanups()
        bench.down()


if __name__ == '__main__':
    main()
