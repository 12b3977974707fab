#!/usr/bin/env python3
"""Tests of tools/check-problems: each fault that the importer or the
training screen would trip over must be reported as an error, and a sound
problem must pass.  The GNU Go checks need gnugo (scripts/install-deps)."""
import importlib.machinery
import importlib.util
import os
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
_loader = importlib.machinery.SourceFileLoader("check_problems", os.path.join(HERE, "check-problems"))
_spec = importlib.util.spec_from_loader("check_problems", _loader)
cp = importlib.util.module_from_spec(_spec)
_loader.exec_module(cp)

ROOT = "(;GM[1]FF[4]CA[UTF-8]SZ[19]SBN[%d]SBG[5]SBD[説明]"
# A white stone on the first line between black stones; black captures at ca.
STONES = "AB[ba][bb][cb][db]AW[ca][da]"
GOOD = ROOT % 1001 + STONES + "(;B[ea]TE[1]C[正解。白2子を取る。])(;B[ab]BM[1]C[失敗。];W[ea])"


class CheckProblemsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.gtp = cp.Gtp()

    @classmethod
    def tearDownClass(cls):
        cls.gtp.close()

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def check(self, text, number=1001, gtp=True):
        path = os.path.join(self.dir.name, "%04d.sgf" % number)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return cp.check_file(path, self.gtp if gtp else None, False, False)

    def assertError(self, report, fragment):
        self.assertTrue(any(fragment in e for e in report.errors),
                        "no error containing %r in %r" % (fragment, report.errors))

    def test_sound_problem_passes(self):
        report = self.check(GOOD + ")")
        self.assertEqual(report.errors, [])

    def test_root_properties(self):
        self.assertError(self.check(GOOD.replace("SZ[19]", "SZ[13]") + ")"), "SZ must be 19")
        self.assertError(self.check(GOOD + ")", number=1002), "does not match the file name")
        self.assertError(self.check(GOOD.replace("SBN[1001]", "SBN[1000]") + ")", number=1000),
                         "lies in no section")
        self.assertError(self.check(GOOD.replace("SBG[5]", "SBG[26]") + ")"), "grade 1-25")
        self.assertError(self.check(GOOD.replace("SBD[説明]", "") + ")"), "SBD")

    def test_broken_sgf_is_unreadable(self):
        self.assertError(self.check(GOOD), "unreadable")
        self.assertError(self.check(GOOD.replace("(;B[ea]", "(B[ea]") + ")"), "unreadable")

    def test_texts_must_fit_the_shift_jis_columns(self):
        long_comment = "あ" * 51
        self.assertError(self.check(GOOD.replace("C[失敗。]", "C[%s]" % long_comment) + ")"), "bytes")
        self.assertEqual(self.check(GOOD.replace("C[失敗。]", "C[%s]" % ("あ" * 50)) + ")").errors, [])
        self.assertError(self.check(GOOD.replace("C[失敗。]", "C[\U0001F600]") + ")"), "Shift-JIS")
        self.assertError(self.check(GOOD.replace("C[失敗。]", "C[*]") + ")"), "plays on")

    def test_tree_limits(self):
        points = [chr(97 + c) + chr(97 + r) for r in range(5, 8) for c in range(19)]
        wide = ROOT % 1001 + STONES + "".join(
            "(;B[%s]%s)" % (p, "TE[1]C[正解。]" if i == 0 else "BM[1]") for i, p in enumerate(points[:21])) + ")"
        self.assertError(self.check(wide), "21 continuations")
        twenty = wide.replace("(;B[%s]BM[1])" % points[20], "")
        self.assertEqual(self.check(twenty).errors, [])

        def deep(levels):
            text = ""
            for i in range(levels):
                text += "(;B[%s]TE[1]C[正解。](;W[%s]BM[1])" % (points[2 * i], points[2 * i + 1])
            return ROOT % 1001 + STONES + text + ")" * levels + ")"
        self.assertEqual(self.check(deep(9)).errors, [])
        self.assertError(self.check(deep(10)), "deeper than 10")

    def test_branch_marks(self):
        same_point = GOOD.replace("(;B[ab]BM[1]", "(;B[ea]BM[1]")
        self.assertError(self.check(same_point + ")"), "two continuations on one point")
        unmarked = GOOD.replace("(;B[ab]BM[1]", "(;B[ab]")
        self.assertError(self.check(unmarked + ")"), "without TE or BM")
        no_red = GOOD.replace("(;B[ab]BM[1]", "(;B[ab]TE[1]")
        self.assertError(self.check(no_red + ")"), "no red")
        passing = GOOD.replace("(;B[ab]BM[1]", "(;B[]BM[1]")
        self.assertError(self.check(passing + ")", gtp=False), "passes cannot be shown")

    def test_illegal_moves_and_dead_setup_stones(self):
        occupied = GOOD.replace(";W[ea]", ";W[ba]")
        self.assertError(self.check(occupied + ")"), "W ba is not legal")
        suicide = ROOT % 1001 + "AB[ba][ab]AW[cc](;B[ea]TE[1]C[正解。])(;W[aa]BM[1]))"
        self.assertError(self.check(suicide), "W aa is not legal")
        no_liberty = GOOD.replace("AB[ba][bb][cb][db]AW[ca][da]", "AB[ba][bb][cb][db][ea]AW[ca][da]")
        self.assertError(self.check(no_liberty.replace("(;B[ea]", "(;B[fa]") + ")"), "with no liberty: ca da")

    def test_library_in_the_repository_passes(self):
        library = os.path.join(HERE, "..", "data", "problems")
        files = sorted(f for f in os.listdir(library) if f.endswith(".sgf"))
        self.assertGreaterEqual(len(files), 30)
        for name in files:
            report = cp.check_file(os.path.join(library, name), self.gtp, False, False,
                                   os.environ.get("SORABEKU_YOSE"))
            self.assertEqual(report.errors, [], name)

    @unittest.skipUnless(os.environ.get("SORABEKU_YOSE"), "the endgame solver is not built")
    def test_solver_replays_every_line_with_its_own_capture_rule(self):
        path = os.path.join(self.dir.name, "1001.sgf")
        with open(path, "w", encoding="utf-8") as f:
            f.write(ROOT % 1001 + "AB[ba][ab]AW[cc](;B[ea]TE[1]C[正解。])(;W[aa]BM[1]))")
        report = cp.check_file(path, None, False, False, os.environ["SORABEKU_YOSE"])
        self.assertError(report, "the move W aa is not legal")

    @unittest.skipUnless(os.environ.get("SORABEKU_YOSE"), "the endgame solver is not built")
    def test_a_value_the_solver_is_sure_of_must_match_the_comment(self):
        # Two white stones in atari on the edge, their last liberty da
        # enclosed by the stones around it: taking them is 4 points in gote.
        base = (ROOT % 1 + "AB[aa][ab][bb][cb][ac][bc][cc][ea][eb][ec]AW[ba][ca][db][dc]"
                "(;B[da]TE[1]C[正解。二子を取って%s。])(;B[jj]BM[1]C[失敗。]))")
        path = os.path.join(self.dir.name, "0001.sgf")
        reports = {}
        for stated in ("後手4目", "後手2目"):
            with open(path, "w", encoding="utf-8") as f:
                f.write(base % stated)
            reports[stated] = cp.check_file(path, None, False, False, os.environ["SORABEKU_YOSE"])
        self.assertEqual(reports["後手4目"].errors, [])
        self.assertError(reports["後手2目"], "the comment says 後手2目, the solver 後手4目")

    @unittest.skipUnless(os.environ.get("SORABEKU_YOSE"), "the endgame solver is not built")
    def test_a_value_read_in_a_cut_region_only_warns(self):
        # A move on the open board: its region is cut at the default size.
        path = os.path.join(self.dir.name, "0001.sgf")
        with open(path, "w", encoding="utf-8") as f:
            f.write(ROOT % 1 + "AB[dd]AW[pd](;B[jj]TE[1]C[正解。後手20目。])(;B[pp]BM[1]C[失敗。]))")
        report = cp.check_file(path, None, False, False, os.environ["SORABEKU_YOSE"])
        self.assertEqual(report.errors, [])
        self.assertTrue(any("the comment says 後手20目" in w for w in report.warnings), report.warnings)


if __name__ == "__main__":
    unittest.main()
