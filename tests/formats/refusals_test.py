"""fourfifths-study refuses what no model can give, and shows what it gives
legibly: correlation matrices that no variables can have, fronts and rows
whose values would not be finite, and tables whose columns must stay apart.
The classic program's report of the same decks stays as it is.

Usage: refusals_test.py STUDY_PROGRAM CLASSIC_PROGRAM
"""
import math
import os
import re
import subprocess
import sys
import tempfile
import unittest

STUDY, CLASSIC = sys.argv[1:3]


def run(program, *args, stdin=None):
    return subprocess.run([program, *args], input=stdin, capture_output=True)


def deck_file(text):
    f = tempfile.NamedTemporaryFile("w", suffix=".deck", delete=False)
    f.write(text)
    f.close()
    return f.name


# Majority basis, two predictors and a criterion (weights 1 and 1, effect
# sizes -1 and -0.2, criterion -0.5) with the correlations given.
def deck(r12, r13, r23, d1="-1.000"):
    return (f"  2  1  0  0  1  0\n  1.000  1.000\n  1.000\n"
            f"  1.000{r12:>7}{r13:>7}\n{r12:>7}  1.000{r23:>7}\n{r13:>7}{r23:>7}  1.000\n"
            f"{d1:>7} -0.200\n -0.500\n")


class Refusals(unittest.TestCase):
    def test_correlations_no_variables_can_have(self):
        """The study and both fronts refuse (status 1, a message naming the
        fault); the classic program reports the deck as it always has. The
        second matrix is the front of validity 35.36 (predictors correlated
        .999999, criterion correlations .35 and .30: smallest eigenvalue
        -0.00139, from mpmath)."""
        cases = [
            (deck("1.500", "0.500", "0.400"), "Correlation (1, 2) is 1.5"),
            (deck(".999999", "0.350", "0.300"), "smallest eigenvalue is -0.00139"),
            (deck("-0.900", "0.900", "0.900"), "smallest eigenvalue is -0.8"),
        ]
        for text, message in cases:
            path = deck_file(text)
            try:
                for args in ([path], ["pareto", path], ["pareto", "--free-weights", path]):
                    with self.subTest(deck=text, args=args):
                        out = run(STUDY, *args)
                        self.assertEqual(out.returncode, 1, out.stdout)
                        self.assertIn(message, out.stderr.decode())
                        self.assertEqual(out.stdout, b"")
                classic = run(CLASSIC, stdin=text.encode())
                self.assertEqual(classic.returncode, 0)
                self.assertIn(b"Correlation between weighted predictor", classic.stdout)
            finally:
                os.remove(path)

    def test_front_table_keeps_its_columns(self):
        """The issue's deck with a predictor effect size of 1e30 (majority
        basis): a finite front down to parity, and a table whose every value
        stands in its column, apart from the next; a selection ratio of 1e-12
        shown as such."""
        big = deck_file("  2  1  0  0  1  1\n  1.000  0.500\n  1.000\n  1.000  0.300  0.500\n"
                        "  0.300  1.000  0.400\n  0.500  0.400  1.000\n 1.0E30  0.000\n  0.000\n"
                        "  0.500\n")
        example = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "pareto.deck")
        try:
            for args in (["--free-weights", "--points", "4", big], ["--points", "4", big],
                         ["--sr", "1e-12", "--points", "5", example]):
                with self.subTest(args=args):
                    out = run(STUDY, "pareto", *args)
                    self.assertEqual(out.returncode, 0, out.stderr)
                    lines = out.stdout.decode().splitlines()
                    start = lines.index(next(l for l in lines if l.startswith("kind ")))
                    header, rows = lines[start], lines[start + 1:]
                    ends = [m.end() for m in re.finditer(r"\S+", header)][1:]
                    for row in rows:
                        self.assertEqual(len(row), ends[-1], row)
                        for begin, end in zip([12] + ends[:-1], ends):  # after the kind
                            text = row[begin:end]
                            self.assertTrue(text.startswith(" "), row)
                            if text.strip():
                                self.assertTrue(math.isfinite(float(text)), row)
                    csv_out = run(STUDY, "pareto", "--format", "csv", *args).stdout.decode()
                    self.assertNotIn("nan", csv_out)
                    self.assertNotIn("inf", csv_out)
            self.assertIn("selection ratio 1e-12\n", run(STUDY, "pareto", "--sr", "1e-12", example)
                          .stdout.decode())
        finally:
            os.remove(big)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
