#!/usr/bin/env python3
"""Every number of the observed-impact table against an independent computation.

Fisher's exact test and Lancaster's mid-P are summed exactly in rationals from
binomial coefficients (math.comb); the normal distribution is that of Python's
statistics module; the Z tests, intervals, shortfall and flip-flop check are
written out again from their published formulas (Morris & Lobsenz 2000 for
Z_IR; Katz et al. 1978 and Pettigrew, Gart & Thomas 1986 for the intervals).
"""
import math
import subprocess
import sys
from fractions import Fraction
from statistics import NormalDist

DUMP = sys.argv[1]
PROGRAM = sys.argv[2]
SOURCE = sys.argv[3]
NORMAL = NormalDist()
NAN = float("nan")


def two_sided(z):
    return NAN if math.isnan(z) else math.erfc(abs(z) / math.sqrt(2))


def fisher(x, n, y, m):
    s = x + y
    total = math.comb(n + m, s)
    p = {k: Fraction(math.comb(n, k) * math.comb(m, s - k), total)
         for k in range(max(0, s - m), min(n, s) + 1)}
    observed = p[x]
    lower = sum(v for k, v in p.items() if k <= x)
    same = sum(v for v in p.values() if v == observed)
    less = sum(v for v in p.values() if v < observed)
    return (float(lower), float(less + same), float(lower - observed / 2), float(less + same / 2))


def expected(groups, reference, alpha, katz):
    rates = [s / a for _, a, s in groups]
    if reference is None:
        r = max(range(len(groups)), key=lambda g: (rates[g], -g))
    else:
        r = [name for name, _, _ in groups].index(reference)
    pooled = sum(s for _, _, s in groups) / sum(a for _, a, _ in groups)
    _, m, y = groups[r]
    q = rates[r]
    zc = NORMAL.inv_cdf(1 - alpha / 2)
    rows = []
    for g, (name, n, x) in enumerate(groups):
        p = rates[g]
        ir = p / q if q > 0 else NAN
        # In whole numbers, so that a ratio of exactly 0.8 meets the rule.
        meets = y == 0 or 5 * x * m >= 4 * y * n
        row = dict(name=name, ref=g == r, rate=p, ir=ir, meets=meets, shortfall=n * pooled - x)
        if g != r:
            pp = (x + y) / (n + m)
            se = math.sqrt(pp * (1 - pp) * (1 / n + 1 / m))
            row["zd"] = (p - q) / se if se > 0 else NAN
            share = n / (n + m)
            row["zir"] = (math.log(p / q) / math.sqrt((1 - pp) / (pp * (n + m) * share * (1 - share)))
                          if x > 0 and y > 0 and pp < 1 else NAN)
            row["fisher"] = fisher(x, n, y, m)
            if katz:
                if x > 0 and y > 0:
                    c, se = math.log(ir), math.sqrt((1 - p) / x + (1 - q) / y)
                else:
                    c = se = NAN
            else:
                xa, na, ya, ma = x + .5, n + .5, y + .5, m + .5
                c = math.log(xa / na) - math.log(ya / ma)
                se = math.sqrt(1 / xa - 1 / na + 1 / ya - 1 / ma)
            row["ci"] = (math.exp(c - zc * se), math.exp(c + zc * se))
            more = (x + 1) / n / q if x < n and q > 0 else NAN
            fewer = (x - 1) / n / q if x > 0 and q > 0 else NAN
            row["flip"] = any(not math.isnan(v) and (y == 0 or 5 * (x + d) * m >= 4 * y * n) != meets
                              for v, d in ((more, 1), (fewer, -1)))
            row["more"], row["fewer"] = more, fewer
        rows.append(row)
    return pooled, r, rows


def close(a, b, tol=1e-9):
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return abs(a - b) <= tol * max(1.0, abs(b))


CASES = [
    # (groups, reference or None for the highest rate, alpha, katz)
    ([("A", 120, 80), ("B", 30, 12)], None, 0.05, False),
    ([("A", 120, 80), ("B", 30, 12)], None, 0.05, True),
    ([("men", 20, 10), ("women", 20, 8)], "men", 0.05, True),
    ([("ref", 4, 3), ("focal", 4, 1)], None, 0.10, False),
    ([("ref", 35, 12), ("g", 17, 0), ("h", 9, 9)], "ref", 0.05, False),
    ([("ref", 35, 12), ("g", 17, 0), ("h", 9, 9)], "ref", 0.05, True),
    ([("W", 600, 150), ("B", 300, 48), ("H", 250, 55), ("A", 90, 25), ("O", 12, 1)], None, 0.01, False),
    ([("W", 600, 150), ("B", 300, 48), ("H", 250, 55), ("A", 90, 25), ("O", 12, 1)], "H", 0.2, True),
    ([("x", 1, 1), ("y", 1, 0)], None, 0.05, False),
    ([("x", 50, 0), ("y", 40, 0)], None, 0.05, False),
    ([("x", 2000, 1500), ("y", 1500, 1000)], None, 0.05, True),
]

failures = 0
for groups, reference, alpha, katz in CASES:
    args = [DUMP, "katz" if katz else "adjusted-log", repr(alpha), reference or "-"] + [
        f"{n}:{a}:{s}" for n, a, s in groups]
    out = subprocess.run(args, capture_output=True, text=True, check=True).stdout.splitlines()
    pooled, r, rows = expected(groups, reference, alpha, katz)
    head = out[0].split("\t")
    got_rows = [line.split("\t") for line in out[1:]]
    problems = []
    if not close(float(head[1]), pooled) or int(head[3]) != r:
        problems.append(f"pooled/reference {head} against {pooled}, {r}")
    for want, got in zip(rows, got_rows):
        v = [float(t) for t in got[4:20]]
        checks = [("rate", v[0], want["rate"]), ("ratio", v[1], want["ir"]),
                  ("shortfall", v[13], want["shortfall"])]
        if got[3] != ("1" if want["ref"] else "0") or got[6] != ("1" if want["meets"] else "0"):
            problems.append(f"{want['name']}: reference/meets {got[3]} {got[6]}")
        if not want["ref"]:
            f = want["fisher"]
            checks += [("z_d", v[3], want["zd"]), ("p_d", v[4], two_sided(want["zd"])),
                       ("z_ir", v[5], want["zir"]), ("p_ir", v[6], two_sided(want["zir"])),
                       ("fisher1", v[7], f[0]), ("fisher2", v[8], f[1]),
                       ("mid1", v[9], f[2]), ("mid2", v[10], f[3]),
                       ("lower", v[11], want["ci"][0]), ("upper", v[12], want["ci"][1]),
                       ("more", v[14], want["more"]), ("fewer", v[15], want["fewer"])]
            if got[20] != ("1" if want["flip"] else "0"):
                problems.append(f"{want['name']}: flip-flop {got[20]}")
        for what, a, b in checks:
            if not close(a, b):
                problems.append(f"{want['name']}: {what} {a!r}, expected {b!r}")
    if problems:
        failures += 1
        print(f"case {groups} ref={reference} alpha={alpha} katz={katz}:")
        for p in problems:
            print("  " + p)

print(f"{len(CASES) - failures} of {len(CASES)} cases agree")


# The distribution over samples of a planned selection: every pair of
# selected counts enumerated again here, with binomial probabilities from
# math.comb and each sample's tests from expected() above.
def plan_expected(m, n, p_ref, p_group, alpha):
    def binom(k, size, p):
        return math.comb(size, k) * p ** k * (1 - p) ** (size - k)
    out = dict(violation=0, no_ratio=0, flip=0, zd=0, zir=0, f1=0, f2=0, m1=0, m2=0, shortfall=0)
    ratios = {}
    for y in range(m + 1):
        for x in range(n + 1):
            w = binom(y, m, p_ref) * binom(x, n, p_group)
            if w == 0:
                continue
            _, _, rows = expected([("ref", m, y), ("g", n, x)], "ref", alpha, False)
            g = rows[1]
            if y == 0:
                out["no_ratio"] += w
            else:
                ratios[g["ir"]] = ratios.get(g["ir"], 0) + w
            out["violation"] += w if not g["meets"] else 0
            out["flip"] += w if not g["meets"] and g["flip"] else 0
            f = g["fisher"]
            for key, p in (("zd", two_sided(g["zd"])), ("zir", two_sided(g["zir"])), ("f1", f[0]),
                           ("f2", f[1]), ("m1", f[2]), ("m2", f[3])):
                out[key] += w if p <= alpha else 0
            out["shortfall"] += w * (n * (x + y) / (n + m) - x)
    return out, sorted(ratios.items())


PLANS = [(15, 10, 0.5, 0.35, 0.05), (8, 12, 0.3, 0.3, 0.10), (20, 20, 0.2, 0.1, 0.05), (5, 3, 1.0, 0.0, 0.05)]
plan_failures = 0
for m, n, p_ref, p_group, alpha in PLANS:
    out = subprocess.run([DUMP, "plan", str(m), str(n), repr(p_ref), repr(p_group), repr(alpha)],
                         capture_output=True, text=True, check=True).stdout.splitlines()
    got = [float(t) for t in out[0].split("\t")]
    want, ratios = plan_expected(m, n, p_ref, p_group, alpha)
    keys = ["violation", "no_ratio", "flip", "zd", "zir", "f1", "f2", "m1", "m2", "shortfall"]
    problems = [f"{k}: {a!r}, expected {want[k]!r}" for k, a in zip(keys, got) if not close(a, want[k])]
    got_ratios = [tuple(float(t) for t in line.split("\t")) for line in out[1:]]
    if len(got_ratios) != len(ratios) or any(not close(a, c) or not close(b, d)
                                             for (a, b), (c, d) in zip(got_ratios, ratios)):
        problems.append(f"ratios {got_ratios[:4]}..., expected {ratios[:4]}...")
    if problems:
        plan_failures += 1
        print(f"plan {m}, {n}, {p_ref}, {p_group}, {alpha}:")
        for p in problems:
            print("  " + p)
print(f"plans: {len(PLANS) - plan_failures} of {len(PLANS)} agree")
failures += plan_failures


# fourfifths-study observed: the same numbers through its CSV and JSON, read
# back with Python's own parsers, from --group options and from a CSV file.
import csv
import io
import itertools
import json
import os
import tempfile


def field(value):
    return NAN if value in ("", None) else float(value)


def check_program(groups, reference, alpha, katz, records):
    pooled, r, rows = expected(groups, reference, alpha, katz)
    problems = []
    if len(records) != len(rows):
        return [f"{len(records)} records for {len(rows)} groups"]
    for want, got in zip(rows, records):
        pairs = [("rate", got["rate"], want["rate"]), ("impact_ratio", got["impact_ratio"], want["ir"]),
                 ("shortfall", got["shortfall"], want["shortfall"])]
        if got["group"] != want["name"] or bool(int(got["reference"])) != want["ref"]:
            problems.append(f"group {got['group']} reference {got['reference']}")
        if bool(int(got["meets"])) != want["meets"]:
            problems.append(f"{want['name']}: meets {got['meets']}")
        if not want["ref"]:
            f = want["fisher"]
            pairs += [("z_difference", got["z_difference"], want["zd"]),
                      ("p_log_ratio", got["p_log_ratio"], two_sided(want["zir"])),
                      ("fisher_one_sided", got["fisher_one_sided"], f[0]),
                      ("fisher_two_sided", got["fisher_two_sided"], f[1]),
                      ("mid_p_one_sided", got["mid_p_one_sided"], f[2]),
                      ("mid_p_two_sided", got["mid_p_two_sided"], f[3]),
                      ("interval_lower", got["interval_lower"], want["ci"][0]),
                      ("interval_upper", got["interval_upper"], want["ci"][1])]
            if bool(int(got["flip_flop"])) != want["flip"]:
                problems.append(f"{want['name']}: flip_flop {got['flip_flop']}")
        for what, a, b in pairs:
            if not close(field(a), b):
                problems.append(f"{want['name']}: {what} {a!r}, expected {b!r}")
    return problems


def run(args, stdin=""):
    return subprocess.run([PROGRAM, "observed"] + args, input=stdin, capture_output=True, text=True)


program_failures = 0
with tempfile.TemporaryDirectory() as tmp:
    for groups, reference, alpha, katz in CASES[:8]:
        options = ["--alpha", repr(alpha), "--interval", "katz" if katz else "adjusted-log",
                   "--reference", reference or "highest"]
        path = os.path.join(tmp, "counts.csv")
        with open(path, "w", newline="") as f:
            writer = csv.writer(f)
            writer.writerow(["group", "applicants", "selected"])
            writer.writerows(groups)
        from_csv = run(options + ["--format", "csv", path])
        from_json = run(options + ["--format", "json"] + [f"--group={n}:{a}:{s}" for n, a, s in groups])
        problems = []
        if from_csv.returncode != 0 or from_json.returncode != 0:
            problems.append(f"exit {from_csv.returncode}, {from_json.returncode}: {from_csv.stderr}{from_json.stderr}")
        else:
            problems += check_program(groups, reference, alpha, katz,
                                      list(csv.DictReader(io.StringIO(from_csv.stdout))))
            document = json.loads(from_json.stdout)
            records = [{k: (int(v) if isinstance(v, bool) else v) for k, v in g.items()}
                       for g in document["groups"]]
            problems += check_program(groups, reference, alpha, katz, records)
            if not close(document["confidence"], 1 - alpha) or document["interval"] != (
                    "katz" if katz else "adjusted-log"):
                problems.append(f"confidence/interval {document['confidence']} {document['interval']}")
        if problems:
            program_failures += 1
            print(f"program, case {groups}:")
            for p in problems:
                print("  " + p)

    # Refusals: the exit status and a message naming what is wrong and where.
    bad_file = os.path.join(tmp, "bad.csv")
    with open(bad_file, "w") as f:
        f.write("group,applicants,selected\nA,10,3\n\"B, c\",4,5\n")
    short_file = os.path.join(tmp, "short.csv")
    with open(short_file, "w") as f:
        f.write("group,applicants,selected\nA,10,3\nB,4\n")
    REFUSALS = [
        (["--group", "A:10:11", "--group", "B:5:1"], 2, "group 'A': 11 selected of only 10 applicants"),
        (["--group", "A:10:2.5", "--group", "B:5:1"], 2, "group 'A': selected 2.5 is not a whole number"),
        (["--group", "A:-3:0", "--group", "B:5:1"], 2, "group 'A': applicants -3 is negative"),
        (["--group", "A:0:0", "--group", "B:5:1"], 2, "group 'A': no applicants"),
        (["--group", "A:10:x", "--group", "B:5:1"], 2, "--group 'A:10:x': selected 'x' is not a number"),
        (["--group", "A10", "--group", "B:5:1"], 2, "--group 'A10': not NAME:APPLICANTS:SELECTED"),
        (["--group", "A:10:1", "--group", "B:5:1", "--reference", "C"], 2,
         "reference group 'C' is not among the groups"),
        (["--group", "A:10:1", "--group", "B:5:1", "--alpha", "1.5"], 2, "--alpha '1.5'"),
        ([bad_file], 1, bad_file + ": group 'B, c': 5 selected of only 4 applicants"),
        ([short_file], 1, short_file + " line 3: 2 fields"),
        ([bad_file, "--group", "A:1:1"], 2, "not both"),
        ([], 2, "no counts"),
        ([os.path.join(tmp, "missing.csv")], 1, "cannot open"),
    ]
    for args, status, message in REFUSALS:
        result = run(args)
        if result.returncode != status or message not in result.stderr or result.stdout:
            program_failures += 1
            print(f"refusal {args}: exit {result.returncode}, stderr {result.stderr!r}, stdout {result.stdout!r}")


# fourfifths-study planning: the plan's numbers through its JSON and CSV, with
# the probabilities given and taken from a deck's model (the study's own
# selection ratios at that SR, as fourfifths-study reports them).
def planning(args):
    return subprocess.run([PROGRAM, "planning"] + args, capture_output=True, text=True)


KEYS = {"p_violation": "violation", "p_no_ratio": "no_ratio", "p_flip_flop": "flip", "p_z_difference": "zd",
        "p_z_log_ratio": "zir", "p_fisher_one_sided": "f1", "p_fisher_two_sided": "f2",
        "p_mid_p_one_sided": "m1", "p_mid_p_two_sided": "m2", "expected_shortfall": "shortfall"}
deck = os.path.join(SOURCE, "examples", "worked.deck")
study = json.loads(subprocess.run([PROGRAM, "--format", "json", "--ratios", "0.3", deck],
                                  capture_output=True, text=True, check=True).stdout)
row = next(r for r in study["rows"] if r["kind"] == "sweep")
for args, (m, n, q, p, alpha) in [
        (["--applicants", "15:10", "--probabilities", "0.5:0.35"], (15, 10, 0.5, 0.35, 0.05)),
        (["--applicants", "12:8", "--probabilities", "0.3:0.3", "--alpha", "0.1"], (12, 8, 0.3, 0.3, 0.1)),
        (["--applicants", "14:9", "--sr", "0.3", deck], (14, 9, row["sra"], row["sri"], 0.05))]:
    want, ratios = plan_expected(m, n, q, p, alpha)
    result = planning(args + ["--format", "json"])
    csv_result = planning(args + ["--format", "csv"])
    problems = []
    if result.returncode or csv_result.returncode:
        problems.append(result.stderr + csv_result.stderr)
    else:
        document = json.loads(result.stdout)
        line = next(csv.DictReader(io.StringIO(csv_result.stdout)))
        for key, name in KEYS.items():
            if not close(document[key], want[name]) or not close(float(line[key]), want[name]):
                problems.append(f"{key}: {document[key]!r}, {line[key]}, expected {want[name]!r}")
        if not close(document["group_probability"], p) or not close(document["reference_probability"], q):
            problems.append(f"probabilities {document['reference_probability']}, {document['group_probability']}")
        if len(document["ratios"]) != len(ratios) or any(
                not close(r["ratio"], a) or not close(r["probability"], b)
                for r, (a, b) in zip(document["ratios"], ratios)):
            problems.append("ratios differ")
    if problems:
        program_failures += 1
        print(f"planning {args}:")
        for x in problems:
            print("  " + x)

# Several groups from a study file's model at SR 0.3 (the probabilities as the
# study reports them): each group's line against the two-group computation
# above, and the whole plan's by enumerating every combination of the four
# groups' selected counts.
table = list(csv.DictReader(io.StringIO(subprocess.run(
    [PROGRAM, "--format", "csv", "--ratios", "0.3", os.path.join(SOURCE, "examples", "groups.toml")],
    capture_output=True, text=True, check=True).stdout)))
rates = {r["group"]: float(r["group_sr"]) for r in table if r["kind"] != "builtin" and float(r["sr"]) == 0.3}
names, sizes = ["White", "Black", "Hispanic", "Asian"], [6, 4, 3, 3]
flag_keys = ["p_violation", "p_z_difference", "p_z_log_ratio", "p_fisher_one_sided", "p_fisher_two_sided",
             "p_mid_p_one_sided", "p_mid_p_two_sided"]


def any_expected(probabilities, alpha=0.05):
    out = dict.fromkeys(flag_keys, 0.0)
    for counts in itertools.product(*(range(k + 1) for k in sizes)):
        w = math.prod(math.comb(k, x) * p ** x * (1 - p) ** (k - x)
                      for k, x, p in zip(sizes, counts, probabilities))
        _, _, rows = expected(list(zip(names, sizes, counts)), "White", alpha, False)
        flags = [False] * 7
        for g in rows[1:]:
            f = g["fisher"]
            for k, hit in enumerate([not g["meets"], two_sided(g["zd"]) <= alpha, two_sided(g["zir"]) <= alpha,
                                     f[0] <= alpha, f[1] <= alpha, f[2] <= alpha, f[3] <= alpha]):
                flags[k] = flags[k] or hit
        for k, key in enumerate(flag_keys):
            out[key] += w if flags[k] else 0
    return out


applicants = "Asian=3,White=6,Black=4,Hispanic=3"  # named, in another order than the file's
result = planning(["--applicants", applicants, "--sr", "0.3", os.path.join(SOURCE, "examples", "groups.toml"),
                   "--format", "csv"])
document = planning(["--applicants", "6,4,3,3", "--sr", "0.3", os.path.join(SOURCE, "examples", "groups.toml"),
                     "--format", "json"])
problems = []
if result.returncode or document.returncode or len(rates) != 4:
    problems.append(f"{result.stderr}{document.stderr} rates {rates}")
else:
    lines = list(csv.DictReader(io.StringIO(result.stdout)))
    document = json.loads(document.stdout)
    probabilities = [rates[name] for name in names]
    for g in range(1, 4):
        want, _ = plan_expected(sizes[0], sizes[g], probabilities[0], probabilities[g], 0.05)
        line, entry = lines[g - 1], document["groups"][g - 1]
        if line["group"] != names[g] or entry["group"] != names[g] or not close(float(line["probability"]),
                                                                                 probabilities[g]):
            problems.append(f"line {g}: {line['group']} {line['probability']}")
        for key, name in KEYS.items():
            if not close(float(line[key]), want[name]) or not close(entry[key], want[name]):
                problems.append(f"{names[g]} {key}: {line[key]}, {entry[key]}, expected {want[name]!r}")
    for kind, probs in (("any", probabilities), ("any_at_parity", [probabilities[0]] * 4)):
        want = any_expected(probs)
        line = next(x for x in lines if x["kind"] == kind)
        for key in flag_keys:
            if not close(float(line[key]), want[key]) or not close(document[kind][key], want[key]):
                problems.append(f"{kind} {key}: {line[key]}, {document[kind][key]}, expected {want[key]!r}")
if problems:
    program_failures += 1
    print("planning, several groups:")
    for x in problems:
        print("  " + x)

# The chart of the plan's sizes: its description gives the full plan's
# probabilities, to three decimals, as computed here.
with tempfile.TemporaryDirectory() as directory:
    chart = os.path.join(directory, "plan.svg")
    want, _ = plan_expected(15, 10, 0.5, 0.35, 0.05)
    result = planning(["--applicants", "15:10", "--probabilities", "0.5:0.35", "--chart", chart])
    text = open(chart, encoding="utf-8").read() if os.path.exists(chart) else ""
    expected = (f"With 25 applicants: a violation {want['violation']:.3f}, Z test of the difference "
                f"{want['zd']:.3f}, Z test of the log ratio {want['zir']:.3f}, Fisher's exact test "
                f"{want['f2']:.3f}, mid-P {want['m2']:.3f}.")
    # The chart's text is XML: its apostrophe an entity.
    if result.returncode or expected.replace("'", "&apos;") not in text or "from 2 to 25" not in text:
        program_failures += 1
        print(f"planning chart: exit {result.returncode}, {result.stderr!r}; expected {expected!r}")

for args, status, message in [
        (["--applicants", "20:10", "--probabilities", "0.4:0.3", "--chart", ""], 2, "--chart: an empty file name"),
        (["--applicants", "20:0", "--probabilities", "0.4:0.3"], 2, "--applicants '20:0'"),
        (["--applicants", "1500:1000", "--probabilities", "0.4:0.3"], 2, "more than 2000 applicants"),
        (["--applicants", "20:10", "--probabilities", "0.4:1.3"], 2, "--probabilities '0.4:1.3'"),
        (["--applicants", "20:10"], 2, "one of them"),
        (["--applicants", "20:10", "--probabilities", "0.4:0.3", deck, "--sr", "0.3"], 2, "one of them"),
        (["--applicants", "20:10", deck], 2, "--sr ''"),
        (["--applicants", "20:10", "--sr", "0.3", os.path.join(SOURCE, "README.md")], 1, "README.md:3:1: not TOML"),
        (["--applicants", "20,10", "--probabilities", "0.4,0.3,0.2"], 2, "--applicants '20,10': 2 values for 3 groups"),
        (["--applicants", "A=20,B=10", "--probabilities", "A=0.4,C=0.3"], 2, "group C is not given"),
        (["--applicants", "20,10,5", "--probabilities", "0.4,0.3,1.2"], 2, "group G3: selection probability 1.2"),
        (["--applicants", "20,10,5", "--sr", "0.3", os.path.join(SOURCE, "examples", "stages.toml")], 1,
         "has stages"),
        (["--probabilities", "0.4:0.3"], 2, "--applicants is required")]:
    result = planning(args)
    if result.returncode != status or message not in result.stderr or result.stdout:
        program_failures += 1
        print(f"planning refusal {args}: exit {result.returncode}, stderr {result.stderr!r}")

print(f"program: {program_failures} failures")
sys.exit(1 if failures or program_failures else 0)
