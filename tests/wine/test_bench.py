"""The bench itself: the driver answers, and a program's windows, messages and
exit codes are visible through it."""

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

    def test_arguments_arrive_byte_for_byte(self):
        # ソ and 表 end in 0x5C, the backslash byte; tabs and backslashes are
        # escaped on the way to the driver.
        args = ['ソ表示', 'tab\there', 'back\\slash', 'C:\\ソフト\\x.bmp']
        rc, out = self.bench.driver_raw('echo', *args)
        self.assertEqual(rc, 0)
        self.assertEqual(out, b''.join(a.encode('cp932') + b'\n' for a in args))
