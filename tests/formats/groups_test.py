"""fourfifths-study with study files of several groups, as a script would use
it: the long CSV and the JSON read back by Python's csv and json modules and
checked against the normal model computed here (math.erfc) and against each
other; decks converted to study files giving the deck's own numbers; the
messages of faulty files; the front from a study file of two groups, and
that of several groups against the normal model of its weights.

Usage: groups_test.py STUDY_PROGRAM SOURCE_DIR
"""
import csv
import io
import json
import math
import os
import subprocess
import sys
import tempfile
import unittest

STUDY, SOURCE = sys.argv[1:3]
EXAMPLE = os.path.join(SOURCE, "examples", "groups.toml")


def run(*args, stdin=None):
    return subprocess.run([STUDY, *args], input=stdin, capture_output=True)


def tail(z):
    """P(Z >= z) for a standard normal Z."""
    return 0.5 * math.erfc(z / math.sqrt(2))


def number(text):
    return float(text) if text != "" else math.nan


class GroupStudy(unittest.TestCase):
    def test_csv_is_the_normal_model_of_the_joint_pool(self):
        out = run("--format", "csv", EXAMPLE)
        self.assertEqual(out.returncode, 0, out.stderr)
        lines = list(csv.DictReader(io.StringIO(out.stdout.decode())))
        report = json.loads(run("--format", "json", EXAMPLE).stdout)
        groups = report["problem"]["groups"]
        self.assertEqual([g["name"] for g in groups], ["White", "Black", "Hispanic", "Asian"])
        # One line per row and group, the groups of a row in order.
        self.assertEqual(len(lines), len(report["rows"]) * 4)
        self.assertEqual([l["group"] for l in lines[:4]], ["White", "Black", "Hispanic", "Asian"])
        shares = [60 / 100, 15 / 100, 18 / 100, 7 / 100]
        for k, row in enumerate(report["rows"]):
            block = lines[4 * k:4 * k + 4]
            cutoff = float(block[0]["cutoff"])
            # The search stops within 1e-4 |x| + 1e-6 of the cut-off; the
            # group ratios are those of its last evaluation (density < 0.4).
            moved = 0.8 * (1e-4 * abs(cutoff) + 1e-6) + 1e-12
            pooled = 0
            for g, line in enumerate(block):
                self.assertEqual(line["kind"], row["kind"])
                self.assertEqual(float(line["share"]), shares[g])
                rate = tail(cutoff - groups[g]["dx"])
                self.assertAlmostEqual(float(line["group_sr"]), rate, delta=moved)
                self.assertEqual(float(line["group_sr"]), row["groups"][g]["sr"])
                pooled += shares[g] * rate
                top = max(float(l["group_sr"]) for l in block)
                self.assertEqual(line["meets"], "1" if float(line["group_sr"]) / top >= 0.8 else "0")
            self.assertAlmostEqual(pooled, float(block[0]["sr"]), delta=moved)
            self.assertEqual(block[0]["all_meet"], "1" if all(l["meets"] == "1" for l in block) else "0")
        # The pool's boundary: Black is binding, and meets the rule there.
        pool = report["pool_boundary"]
        self.assertEqual((pool["state"], pool["group"], pool["against"]), ("found", "Black", "Asian"))
        x = pool["cutoff"]
        self.assertAlmostEqual(tail(x - groups[1]["dx"]) / tail(x - groups[3]["dx"]), 0.8, delta=1e-4)

    def test_text_has_a_table_per_group_and_the_pool_boundary(self):
        out = run(EXAMPLE)
        self.assertEqual(out.returncode, 0, out.stderr)
        text = out.stdout.decode()
        for name in ["White (reference)", "Black", "Hispanic", "Asian"]:
            self.assertIn("\nGroup " + name + "\n", text)
        self.assertIn("Every group meets the four-fifths rule from SR 0.872 on (binding group: Black)", text)

    def test_decks_converted_give_the_decks_numbers(self):
        for name in ["worked", "worked-majority", "battery"]:
            deck = os.path.join(SOURCE, "examples", name + ".deck")
            classic = list(csv.DictReader(io.StringIO(run("--format", "csv", deck).stdout.decode())))
            for form in ["toml", "json"]:
                converted = run("convert", "--format", form, deck)
                self.assertEqual(converted.returncode, 0, converted.stderr)
                out = run("--format", "csv", "-", stdin=converted.stdout)
                self.assertEqual(out.returncode, 0, out.stderr)
                lines = list(csv.DictReader(io.StringIO(out.stdout.decode())))
                self.assertEqual(len(lines), 2 * len(classic), name)
                for k, row in enumerate(classic):
                    majority, minority = lines[2 * k], lines[2 * k + 1]
                    self.assertEqual((majority["kind"], majority["sr"]), (row["kind"], row["sr"]))
                    self.assertEqual(majority["cutoff"], row["cutoff"])
                    self.assertEqual(majority["group_sr"], row["sra"])
                    self.assertEqual(minority["group_sr"], row["sri"])
                    self.assertEqual(minority["ai"], row["ai"])
                    self.assertEqual(minority["quality"], row["mi"])
                    self.assertEqual(majority["all_quality"], row["m"])

    def test_a_study_file_round_trips_through_both_forms(self):
        toml = run("convert", EXAMPLE).stdout
        json_form = run("convert", "--format", "json", EXAMPLE).stdout
        json.loads(json_form)
        again = run("convert", "-", stdin=json_form).stdout
        expected = run("--format", "csv", EXAMPLE).stdout
        for form in [toml, json_form, again]:
            self.assertEqual(run("--format", "csv", "-", stdin=form).stdout, expected)

    def test_faults_name_file_line_column_and_key(self):
        with open(EXAMPLE) as f:
            text = f.read()
        cases = [
            (text.replace("share = 15", "share = -15"),
             ":58:9: key 'groups[2].share': must be positive"),
            (text.replace('sweep = "0.02:0.98:0.02"', 'sweep = "0.02:0.98:0.05"'),
             ":45:9: key 'selection.sweep': '0.02:0.98:0.05': STEP does not divide the range"),
            (text.replace("interview = -0.23, ", ""), ":59:11: key 'groups[2].effects.interview': missing"),
            (text.replace("predictors = { ability = 1.0, interview = 1.0 }", 'predictors = "front"'),
             ": the predictor weights are left to the front"),
        ]
        with tempfile.TemporaryDirectory() as d:
            for changed, message in cases:
                self.assertNotEqual(changed, text)
                path = os.path.join(d, "study.toml")
                with open(path, "w") as f:
                    f.write(changed)
                out = run(path)
                self.assertEqual(out.returncode, 1)
                self.assertEqual(out.stdout, b"")
                self.assertIn(path + message, out.stderr.decode())

    def test_front_from_a_study_file_of_two_groups(self):
        deck = os.path.join(SOURCE, "examples", "pareto.deck")
        converted = run("convert", deck).stdout
        from_deck = run("pareto", "--format", "csv", deck)
        from_file = run("pareto", "--format", "csv", "-", stdin=converted)
        self.assertEqual(from_file.returncode, 0, from_file.stderr)
        self.assertEqual(from_file.stdout, from_deck.stdout)
        for option in ["--target", "--surface"]:
            out = run("pareto", *([option, "0.7"] if option == "--target" else [option]), deck)
            self.assertEqual(out.returncode, 2)
            self.assertIn(option + ": for a study file of three or more groups", out.stderr.decode())

    def test_front_of_several_groups_is_the_normal_model_of_its_weights(self):
        # The example's two predictors and the Black, Hispanic and Asian
        # effects, read back from the long CSV: each line's AI and selection
        # ratio follow from its weights by the joint pool's cut-off, found
        # here by bisection on erfc tails; validity from the correlations.
        out = run("pareto", "--sr", "0.3", "--points", "6", "--format", "csv", EXAMPLE)
        self.assertEqual(out.returncode, 0, out.stderr)
        lines = list(csv.DictReader(io.StringIO(out.stdout.decode())))
        self.assertEqual(len(lines) % 4, 0)
        effects = [(0, 0), (-1.00, -0.23), (-0.72, -0.17), (0.10, -0.05)]
        shares = [0.60, 0.15, 0.18, 0.07]
        r12, r1y, r2y = 0.31, 0.51, 0.51
        kinds = []

        def model(w1, w2):
            sd = math.sqrt(w1 * w1 + w2 * w2 + 2 * w1 * w2 * r12)
            d = [(w1 * a + w2 * b) / sd for a, b in effects]
            lo, hi = -10.0, 10.0
            for _ in range(100):
                mid = (lo + hi) / 2
                if sum(p * tail(mid - dg) for p, dg in zip(shares, d)) > 0.3:
                    lo = mid
                else:
                    hi = mid
            return sd, d, lo, [tail(lo - dg) / tail(lo) for dg in d]

        for k in range(0, len(lines), 4):
            block = lines[k:k + 4]
            self.assertEqual([l["group"] for l in block], ["White", "Black", "Hispanic", "Asian"])
            w1, w2 = float(block[0]["w1"]), float(block[0]["w2"])
            sd, d, lo, ais = model(w1, w2)
            for g, line in enumerate(block):
                self.assertAlmostEqual(float(line["ai"]), ais[g], delta=1e-9)
                self.assertAlmostEqual(float(line["sr"]), tail(lo - d[g]), delta=1e-9)
                self.assertAlmostEqual(float(line["composite_d"]), d[g], delta=1e-12)
            self.assertAlmostEqual(float(block[0]["min_ai"]), min(ais[1:]), delta=1e-9)
            self.assertAlmostEqual(float(block[0]["validity"]), (w1 * r1y + w2 * r2y) / sd, delta=1e-12)
            self.assertLessEqual(float(block[0]["kkt_residual"]), 1e-9)
            kinds.append(block[0]["kind"])
        self.assertEqual(kinds[0], "max_validity")
        self.assertEqual(kinds[-1], "min_impact")
        # Out of reach at 0.3 with non-negative weights (the text says how close the best comes).
        self.assertNotIn("four_fifths", kinds)
        # The largest smallest AI over non-negative weightings (cos t, sin t), by a dense scan.
        best = max(min(model(math.cos(t), math.sin(t))[3][1:])
                   for t in (math.pi / 2 * j / 2000 for j in range(2001)))
        self.assertAlmostEqual(float(lines[-4]["min_ai"]), best, delta=1e-6)
        text = run("pareto", "--sr", "0.3", EXAMPLE).stdout.decode()
        self.assertIn("No weighting reaches AI 0.8 for every group: the best reaches a smallest AI of "
                      "%.3f (binding: Black)" % best, text)
        # Within reach at 0.75: the JSON's target point meets it for every group.
        front = json.loads(run("pareto", "--sr", "0.3", "--target", "0.75", "--format", "json", EXAMPLE).stdout)
        self.assertTrue(front["headline"]["reached"])
        point = [p for p in front["points"] if p["kind"] == "four_fifths"]
        self.assertEqual(len(point), 1)
        self.assertGreaterEqual(min(g["ai"] for g in point[0]["groups"][1:]), 0.75 - 1e-9)
        self.assertEqual(point[0]["binding"], ["Black"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
