"""fourfifths-study as a script would use it: CSV and JSON read back by
Python's own csv and json modules and compared, bit for bit, with the
library's numbers (printed exactly by dump_study); the text format against
the classic program's report on every end-to-end deck; and the command line's
errors and exit statuses.

Usage: formats_test.py STUDY_PROGRAM CLASSIC_PROGRAM DUMP_PROGRAM SOURCE_DIR
"""
import csv
import glob
import io
import json
import math
import os
import subprocess
import sys
import unittest

STUDY, CLASSIC, DUMP, SOURCE = sys.argv[1:5]
COLUMNS = ["kind", "sr", "status", "cutoff", "sra", "sri", "ai", "m", "ma", "mi", "dif",
           "sm", "sma", "smi", "sdif"]
SWEEP = "0.02,0.3:0.7:0.1"
SWEEP_VALUES = ["0.02", "0.3", "0.4", "0.5", "0.6", "0.7"]


def run(program, *args, stdin=None):
    return subprocess.run([program, *args], input=stdin, capture_output=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def library_rows(deck):
    """The library's own values: (composites, [(kind, status, [sr, values...])])."""
    out = run(DUMP, deck, *SWEEP_VALUES)
    assert out.returncode == 0, out
    lines = out.stdout.decode().splitlines()
    composites = [float.fromhex(v) for v in lines[0].split()[1:]]
    rows = []
    for line in lines[1:]:
        kind, status, *values = line.split()
        rows.append((kind, status, [math.nan if v == "nan" else float.fromhex(v) for v in values]))
    return composites, rows


def same(a, b):
    return (math.isnan(a) and math.isnan(b)) or a == b


def valid_decks():
    decks = sorted(glob.glob(os.path.join(SOURCE, "examples", "*.deck")))
    for deck in sorted(glob.glob(os.path.join(SOURCE, "tests", "decks", "*.deck"))):
        if run(DUMP, deck).returncode == 0:
            decks.append(deck)
    return decks


class Formats(unittest.TestCase):
    def test_csv_reads_back_to_the_library_numbers(self):
        for deck in valid_decks():
            with self.subTest(deck=os.path.basename(deck)):
                out = run(STUDY, "--format", "csv", "--ratios", SWEEP, deck)
                self.assertEqual(out.returncode, 0, out.stderr)
                table = list(csv.reader(io.StringIO(out.stdout.decode())))
                self.assertEqual(table[0], COLUMNS)
                _, rows = library_rows(deck)
                self.assertEqual(len(table) - 1, len(rows))
                for line, (kind, status, values) in zip(table[1:], rows):
                    self.assertEqual((line[0], line[2]), (kind, status))
                    numbers = [line[1]] + line[3:]
                    for text, value in zip(numbers, values):
                        read = math.nan if text == "" else float(text)
                        self.assertTrue(same(read, value), f"{text!r} against {value!r}")

    def test_json_reads_back_to_the_library_numbers(self):
        for deck in valid_decks():
            with self.subTest(deck=os.path.basename(deck)):
                out = run(STUDY, "--format", "json", "--ratios", SWEEP, deck)
                self.assertEqual(out.returncode, 0, out.stderr)
                doc = json.loads(out.stdout)
                composites, rows = library_rows(deck)
                got = [doc["composites"][k] for k in ["sxx", "syy", "sxy", "rxy", "dx", "dy"]]
                self.assertEqual(got, composites)
                self.assertEqual(len(doc["rows"]), len(rows))
                for row, (kind, status, values) in zip(doc["rows"], rows):
                    self.assertEqual((row["kind"], row["status"]), (kind, status))
                    for name, value in zip(["sr"] + COLUMNS[3:], values):
                        read = math.nan if row[name] is None else row[name]
                        self.assertTrue(same(read, value), f"{name}: {row[name]!r} against {value!r}")
                problem = doc["problem"]
                n = problem["predictors"] + problem["criteria"]
                self.assertEqual(len(problem["correlations"]), n)
                self.assertEqual(len(doc["weights"]), problem["predictors"])

    def test_text_is_the_classic_report(self):
        """Valid decks: the same report. Rejected decks: the same messages, on
        standard error, status 1. Unreadable decks: a message that names the
        line and the columns, status 1."""
        for deck in sorted(glob.glob(os.path.join(SOURCE, "tests", "decks", "*.deck"))):
            with self.subTest(deck=os.path.basename(deck)):
                classic = run(CLASSIC, stdin=read(deck))
                study = run(STUDY, deck)
                if classic.returncode != 0:
                    self.assertEqual(study.returncode, 1)
                    self.assertRegex(study.stderr.decode(), r"^fourfifths-study: .*: line \d+")
                elif run(DUMP, deck).returncode != 0:
                    self.assertEqual(study.returncode, 1)
                    self.assertEqual(study.stderr, classic.stdout)
                    self.assertEqual(study.stdout, b"")
                else:
                    self.assertEqual(study.returncode, 0, study.stderr)
                    self.assertEqual(study.stdout, classic.stdout)
                    self.assertEqual(study.stderr, b"")

    def test_standard_input(self):
        deck = os.path.join(SOURCE, "examples", "worked.deck")
        expected = run(STUDY, deck).stdout
        for args in ([], ["-"]):
            self.assertEqual(run(STUDY, *args, stdin=read(deck)).stdout, expected)

    def test_command_line_errors(self):
        deck = os.path.join(SOURCE, "examples", "worked.deck")
        cases = [
            (["--format", "xml", deck], 2, "xml"),
            (["--ratios", "0.5:0.1:0.1", deck], 2, "'0.5:0.1:0.1': TO is below FROM"),
            (["--ratios", "0.1,1.5", deck], 2, "'1.5': a selection ratio must lie strictly between 0 and 1"),
            (["--ratios", "0.1:0.2:0.03", deck], 2, "'0.1:0.2:0.03': STEP does not divide"),
            (["--ratios", "0.1,abc", deck], 2, "'abc': not a number"),
            (["--ratios", "0.1:0.9:1e10", deck], 2, "'0.1:0.9:1e10': STEP is wider than the range"),
            (["--ratios", "0.5,1e-12", deck], 2, "'1e-12': below 1e-06"),
            (["--ratios", "0.0000005:0.0000015:0.0000005", deck], 2, "below 1e-06"),
            (["--ratios", "0.000001:0.999999:0.000001", deck], 2, "more than 100000 ratios"),
            (["--no-such-option", deck], 2, "no-such-option"),
            ([os.path.join(SOURCE, "no-such.deck")], 1, "cannot open"),
            (["--chart", "/no/such/folder/chart.svg", deck], 1, "cannot open"),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                out = run(STUDY, *args)
                self.assertEqual(out.returncode, status, out.stderr)
                self.assertIn(message, out.stderr.decode())
                self.assertEqual(out.stdout, b"")

    def test_chart_beside_the_output(self):
        deck = os.path.join(SOURCE, "examples", "worked.deck")
        chart = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"fourfifths-chart-{os.getpid()}.svg")
        out = run(STUDY, "--format", "csv", "--chart", chart, deck)
        try:
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertEqual(out.stdout, run(STUDY, "--format", "csv", deck).stdout)
            self.assertIn("<svg", read(chart).decode())
        finally:
            if os.path.exists(chart):
                os.remove(chart)

    def test_front_reads_back_to_the_library_numbers(self):
        deck = os.path.join(SOURCE, "examples", "pareto.deck")
        for args, dump in ((["--points", "9"], ["0.1", "9", "nonnegative"]),
                           (["--sr", "0.3", "--free-weights"], ["0.3", "21", "free"])):
            with self.subTest(args=args):
                points = []
                for line in run(DUMP, "--front", deck, *dump).stdout.decode().splitlines():
                    kind, *values = line.split()
                    points.append((kind, [math.nan if v == "nan" else float.fromhex(v) for v in values]))
                self.assertGreater(len(points), 2)
                out = run(STUDY, "pareto", "--format", "csv", *args, deck)
                self.assertEqual(out.returncode, 0, out.stderr)
                table = list(csv.reader(io.StringIO(out.stdout.decode())))
                self.assertEqual(table[0][:10], ["kind", "ai", "validity", "composite_d", "cutoff", "sra",
                                                 "sri", "quality", "quality_majority", "quality_minority"])
                self.assertEqual(table[0][10:], ["w1", "w2", "w3", "w4"])
                self.assertEqual([(line[0], [float(v) for v in line[1:]]) for line in table[1:]], points)
                doc = json.loads(run(STUDY, "pareto", "--format", "json", *args, deck).stdout)
                names = table[0][1:10]
                self.assertEqual([(p["kind"], [p[n] for n in names] + p["weights"]) for p in doc["points"]],
                                 points)
                text = run(STUDY, "pareto", *args, deck).stdout.decode()
                self.assertIn("four_fifths", text)

    def test_front_from_a_sample(self):
        # The example's non-negative front, fitted in a sample of 150: its ends are
        # the regression weighting and conscientiousness alone (every effect size is
        # negative, so no mixture favours the minority more). The shrunk columns
        # recomputed here from the table's own validities and effect sizes: Claudy's
        # population R², Browne's rho^4 and cross-validated R² at the ends, linear
        # interpolation between them, and the AI of the shrunk effect size at SR .10
        # with a quarter of the applicants from the minority, by bisection.
        deck = os.path.join(SOURCE, "examples", "pareto.deck")
        n, k, pq = 150, 4, 0.25 * 0.75

        def browne(r2):
            e = 1 - r2
            rho2 = min(r2, max(0, 1 - (n - 4) / (n - k - 1) * e * (1 + 2 * e / (n - k + 1))))
            rho4 = max(0, rho2 ** 2 - 2 * k * (1 - rho2) ** 2 / ((n - 1) * (n - k + 1)))
            return ((n - k - 3) * rho4 + rho2) / ((n - 2 * k - 2) * rho2 + k)

        def tail(z):
            return 0.5 * math.erfc(z / math.sqrt(2))

        def ai_of(d):
            lo, hi = -8.0, 8.0
            for _ in range(200):
                x = (lo + hi) / 2
                if 0.75 * tail(x) + 0.25 * tail(x - d) > 0.1:
                    lo = x
                else:
                    hi = x
            return tail(lo - d) / tail(lo)

        def membership(d):
            return d * math.sqrt(pq) / math.sqrt(1 + d * d * pq)

        out = run(STUDY, "pareto", "--format", "csv", "--sample-size", str(n), deck)
        self.assertEqual(out.returncode, 0, out.stderr)
        table = list(csv.DictReader(io.StringIO(out.stdout.decode())))
        top, far = table[0], table[-1]
        v0, vf = float(top["validity"]), float(far["validity"])
        u0, uf = membership(float(top["composite_d"])), membership(float(far["composite_d"]))
        v0_shrunk = math.sqrt(browne(v0 ** 2))
        uf_shrunk = uf - (abs(uf) - math.sqrt(browne(uf ** 2)))
        for row in table:
            with self.subTest(row=row["kind"], ai=row["ai"]):
                t = (float(row["validity"]) - v0) / (vf - v0)
                self.assertAlmostEqual(float(row["shrunk_validity"]), v0_shrunk + t * (vf - v0_shrunk),
                                       delta=1e-12)
                t = (membership(float(row["composite_d"])) - uf) / (u0 - uf)
                u = uf_shrunk + t * (u0 - uf_shrunk)
                self.assertAlmostEqual(float(row["shrunk_ai"]), ai_of(u / math.sqrt((1 - u * u) * pq)),
                                       delta=1e-9)
        # The population front's columns are those of the front without a sample.
        plain = list(csv.DictReader(io.StringIO(run(STUDY, "pareto", "--format", "csv", deck).stdout.decode())))
        self.assertEqual([{c: v for c, v in row.items() if not c.startswith("shrunk_")} for row in table], plain)
        doc = json.loads(run(STUDY, "pareto", "--format", "json", "--sample-size", str(n), deck).stdout)
        self.assertEqual((doc["sample_size"], doc["predictors_screened"]), (150, 4))
        self.assertEqual([p["shrunk_ai"] for p in doc["points"]], [float(row["shrunk_ai"]) for row in table])
        self.assertIn("validity*", run(STUDY, "pareto", "--sample-size", str(n), deck).stdout.decode())
        for args, status, message in (
                (["--sample-size", "10"], 1, "too small for 4 predictors: the shrinkage formulas need at least 2K + 3 = 11"),
                (["--sample-size", "20", "--predictors-screened", "9"], 1, "too small for 9 predictors screened"),
                (["--sample-size", "100", "--predictors-screened", "3"], 1, "at least the front's 4 predictors"),
                (["--predictors-screened", "9"], 2, "give the validation sample's --sample-size too"),
                (["--sample-size", "0"], 2, "--sample-size: a whole number of applicants")):
            with self.subTest(args=args):
                out = run(STUDY, "pareto", *args, deck)
                self.assertEqual(out.returncode, status, out.stderr)
                self.assertIn(message, out.stderr.decode())

    def test_front_command_line(self):
        deck = os.path.join(SOURCE, "examples", "pareto.deck")
        worked = os.path.join(SOURCE, "examples", "worked.deck")
        cases = [
            (["pareto", "--sr", "1", deck], 2, "strictly between 0 and 1"),
            (["pareto", "--points", "1", deck], 2, "--points"),
            (["pareto", "--format", "xml", deck], 2, "xml"),
            (["pareto", os.path.join(SOURCE, "tests", "decks", "ten-predictors.deck")], 1,
             "criterion"),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                out = run(STUDY, *args)
                self.assertEqual(out.returncode, status, out.stderr)
                self.assertIn(message, out.stderr.decode())
        # --sr defaults to the deck's first requested ratio: the worked deck's 0.15.
        self.assertEqual(run(STUDY, "pareto", "--format", "csv", worked).stdout,
                         run(STUDY, "pareto", "--format", "csv", "--sr", "0.15", worked).stdout)
        self.assertIn("not used", run(STUDY, "pareto", "--help").stdout.decode())

    def test_help_and_version(self):
        out = run(STUDY, "--help")
        self.assertEqual(out.returncode, 0)
        self.assertIn("Example", out.stdout.decode())
        out = run(STUDY, "--version")
        self.assertEqual(out.returncode, 0)
        self.assertRegex(out.stdout.decode(), r"^fourfifths-study \d+\.\d+\.\d+")

    def test_a_sweep_of_100000_ratios(self):
        deck = os.path.join(SOURCE, "examples", "worked.deck")
        out = run(STUDY, "--format", "csv", "--ratios", "0.00001:0.99999:0.00001", deck)
        self.assertEqual(out.returncode, 0, out.stderr)
        lines = out.stdout.decode().splitlines()
        self.assertEqual(len(lines), 1 + 24 + 99999)
        self.assertTrue(lines[-1].startswith("sweep,0.99999,ok,"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
