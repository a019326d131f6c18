"""The bench itself: the driver answers, and a program's windows, messages and
exit codes are visible through it."""
import os

from bench import WineTestCase


class BenchTests(WineTestCase):
    def test_screen_is_the_bench_screen(self):
        out = self.driver_ok('screen')
        self.assertEqual(tuple(int(v) for v in out.split()), self.bench.screen)

    def test_unknown_command_is_a_usage_error(self):
        rc, out = self.driver('no-such-command')
        self.assertEqual(rc, 2)
        self.assertIn('unknown command', out)

    def test_missing_window_times_out(self):
        rc, _ = self.driver('find-window', 'NoSuchClassAnywhere', '--timeout', '200')
        self.assertEqual(rc, 3)
