"""fourfifths-study with a study file of stages, as a script would use it: the
long CSV and the JSON read back by Python's csv and json modules and checked
against each other, against the stages' pass rules, and against the normal
model computed here from the study file itself (composites from the weights,
effect sizes and matrix; one stage by math.erfc, two by Simpson integration
of the bivariate normal); the messages of designs that cannot be analysed.

Usage: stages_test.py STUDY_PROGRAM SOURCE_DIR
"""
import csv
import io
import json
import math
import os
import subprocess
import sys
import tempfile
import tomllib
import unittest

STUDY, SOURCE = sys.argv[1:3]
EXAMPLE = os.path.join(SOURCE, "examples", "stages.toml")


def run(*args):
    return subprocess.run([STUDY, *args], capture_output=True)


def tail(z):
    return 0.5 * math.erfc(z / math.sqrt(2))


def pdf(z):
    return math.exp(-0.5 * z * z) / math.sqrt(2 * math.pi)


class Model:
    """The example's composites, computed here from the file."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.file = tomllib.load(f)
        names = self.file["predictors"] + self.file["criteria"]
        n = len(names)
        rows = self.file["correlations"]
        self.r = [[rows[max(i, j)][min(i, j)] for j in range(n)] for i in range(n)]
        self.np = len(self.file["predictors"])
        self.w = [[s["weights"].get(p, 0.0) for p in self.file["predictors"]]
                  for s in self.file["stages"]]
        self.effects = [[g.get("effects", {}).get(v, 0.0) for v in names]
                        for g in self.file["groups"]]

    def cov(self, u, v):
        return sum(u[i] * v[j] * self.r[i][j] for i in range(self.np) for j in range(self.np))

    def mean(self, s, g):
        w = self.w[s]
        return sum(w[i] * self.effects[g][i] for i in range(self.np)) / math.sqrt(self.cov(w, w))

    def corr(self, s, t):
        return self.cov(self.w[s], self.w[t]) / math.sqrt(
            self.cov(self.w[s], self.w[s]) * self.cov(self.w[t], self.w[t]))


def bivariate(h, k, rho, n=4000):
    """P(X >= h, Y >= k) by Simpson's rule over X."""
    lo = max(h, -10.0)
    hi = max(lo, 0.0) + 12
    s = math.sqrt(1 - rho * rho)
    step = (hi - lo) / n
    f = lambda x: pdf(x) * tail((k - rho * x) / s)
    total = f(lo) + f(hi) + sum((4 if i % 2 else 2) * f(lo + i * step) for i in range(1, n))
    return total * step / 3


class StagedStudy(unittest.TestCase):
    def setUp(self):
        out = run("--format", "csv", EXAMPLE)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.lines = list(csv.DictReader(io.StringIO(out.stdout.decode())))
        out = run("--format", "json", EXAMPLE)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.report = json.loads(out.stdout)
        self.model = Model(EXAMPLE)

    def test_long_csv_is_the_json(self):
        names = ["White", "Black", "Hispanic"]
        # Three stages and the single stage, three groups each.
        self.assertEqual(len(self.lines), 12)
        self.assertEqual([l["group"] for l in self.lines[:3]], names)
        for k, line in enumerate(self.lines):
            selection = "staged" if k < 9 else "single"
            stage = k // 3 if k < 9 else 0
            self.assertEqual(line["selection"], selection)
            self.assertEqual(int(line["stage"]), stage + 1)
            values = self.report[selection]["stages"][stage]
            group = values["groups"][k % 3]
            self.assertEqual(float(line["cutoff"]), values["cutoff"])
            for field in ["pass", "still_in", "ai", "ai_highest", "ai_cumulative",
                          "ai_cumulative_highest"]:
                self.assertEqual(float(line[field]), group[field], field)
            last = selection == "single" or stage == 2
            self.assertEqual(line["quality"] != "", last)
            if last:
                self.assertEqual(float(line["quality"]),
                                 self.report[selection]["quality"][names[k % 3]])

    def test_the_pass_rules_hold_on_the_pool(self):
        shares = [0.60, 0.22, 0.18]
        before = 1.0
        for stage, rule in zip(self.report["staged"]["stages"], self.file_stages()):
            pooled = sum(p * g["still_in"] for p, g in zip(shares, stage["groups"]))
            want = rule.get("entrants", 1) * before if "entrants" in rule else rule["still_in"]
            self.assertAlmostEqual(pooled, want, delta=1e-12)
            before = pooled
        single = self.report["single"]["stages"][0]
        self.assertAlmostEqual(
            sum(p * g["still_in"] for p, g in zip(shares, single["groups"])), 0.1, delta=1e-12)

    def file_stages(self):
        return self.model.file["stages"]

    def test_first_two_stages_and_the_single_stage_are_the_normal_model(self):
        m = self.model
        c1 = self.report["staged"]["stages"][0]["cutoff"]
        c2 = self.report["staged"]["stages"][1]["cutoff"]
        cs = self.report["single"]["stages"][0]["cutoff"]
        rho = m.corr(0, 1)
        for g in range(3):
            first = self.report["staged"]["stages"][0]["groups"][g]["still_in"]
            self.assertAlmostEqual(first, tail(c1 - m.mean(0, g)), delta=1e-13)
            second = self.report["staged"]["stages"][1]["groups"][g]["still_in"]
            # Simpson's error at 4000 panels is far below 1e-10 here.
            self.assertAlmostEqual(second, bivariate(c1 - m.mean(0, g), c2 - m.mean(1, g), rho),
                                   delta=1e-10)
            single = self.report["single"]["stages"][0]["groups"][g]["still_in"]
            self.assertAlmostEqual(single, tail(cs - m.mean(2, g)), delta=1e-13)

    def test_text_and_chart(self):
        out = run(EXAMPLE)
        text = out.stdout.decode()
        self.assertIn("Stage 3 'interview' (keeps 0.100 of all applicants)", text)
        self.assertIn("Single stage on the composite of 'interview'", text)
        with tempfile.TemporaryDirectory() as d:
            chart = os.path.join(d, "stages.svg")
            out = run("--format", "csv", "--chart", chart, EXAMPLE)
            self.assertEqual(out.returncode, 0, out.stderr)
            with open(chart) as f:
                svg = f.read()
            self.assertIn("data-y08=", svg)
            self.assertIn("four-fifths rule", svg)

    def test_designs_that_cannot_be_analysed(self):
        with open(EXAMPLE) as f:
            example = f.read()
        cases = [
            (example.replace("weights = { ability = 1.0 }", "weights = { ability = 0.0 }"),
             [], "Stage 2 'test': Variance of the weighted predictor combination is not a "
                 "positive finite number"),
            (example.replace("minimum = 0.01", "minimum = 0.25"), [],
             "Stage 2 'test': leaves 0.2 of all applicants"),
            (example, ["--ratios", "0.2"], "a staged study has no rows of selection ratios"),
            (example + '[[stages]]\nname = "x"\nweights = { ability = 1 }\ncutoff = 0\n', [],
             ":68:1: key 'stages[4]': at most 3 stages"),
        ]
        with tempfile.TemporaryDirectory() as d:
            for text, options, message in cases:
                path = os.path.join(d, "s.toml")
                with open(path, "w") as f:
                    f.write(text)
                out = run(*options, path)
                self.assertNotEqual(out.returncode, 0, message)
                self.assertIn(message, out.stderr.decode())
                self.assertEqual(out.stdout, b"")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
