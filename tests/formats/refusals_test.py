"""fourfifths-study refuses what no model can give, and shows what it gives
legibly: correlation matrices that no variables can have, fronts and rows
whose values would not be finite, and tables whose columns must stay apart.
The classic program's report of the same decks stays as it is.

Usage: refusals_test.py STUDY_PROGRAM CLASSIC_PROGRAM
"""
import os
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


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
