#!/usr/bin/env python3
"""quorix --solver mumps against the program's own solver, on 1 and 2 MPI
processes: the same status and console lines, result files that agree to
the printed digits, the free-motion hint for a model that can move, and bad
input refused alike and quickly by every process.

compare_solvers.py QUORIX SOURCE_DIR MPIRUN [MPIRUN_OPTIONS...]"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

quorix, source, mpirun, mpi_options = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def run(args, folder, timeout=120):
    started = time.monotonic()
    done = subprocess.run(args, cwd=folder, capture_output=True, text=True, timeout=timeout)
    return done, time.monotonic() - started


def mumps(ranks, args, folder, timeout=120):
    return run([mpirun, *mpi_options, "-np", str(ranks), quorix, "--solver", "mumps", *args], folder, timeout)


def node_table(text):
    rows = []
    for line in text.splitlines()[1:]:
        items = line.split(",")
        if len(items) != 13:
            break
        rows.append([float(re.sub(r"(\d)([+-]\d{3})$", r"\1E\2", item.strip())) for item in items[1:]])
    return rows


# Columns after the label: x, y | u, v | the eight stresses.
GROUPS = [range(0, 2), range(2, 4), range(4, 12)]


def agree(own, other):
    """The first value of `other` that differs from `own` by more than 1e-7
    of itself and 1e-9 of the largest of its column group, or None."""
    a, b = node_table(own), node_table(other)
    if len(a) != len(b) or not a:
        return "node tables of %d and %d rows" % (len(a), len(b))
    for group in GROUPS:
        largest = max(abs(row[c]) for row in a for c in group)
        for k, (p, q) in enumerate(zip(a, b)):
            for c in group:
                if abs(p[c] - q[c]) > max(1e-7 * abs(p[c]), 1e-9 * largest):
                    return "row %d column %d: %r against %r" % (k, c + 1, p[c], q[c])
    if own.split("\n", len(a) + 1)[-1] != other.split("\n", len(b) + 1)[-1]:
        return "element tables"
    return None


models = ["examples/cantilever.dat", "examples/hole_plate.dat", "tests/golden/runs/cantilever_nonlinear.dat",
          "tests/golden/runs/thick_ring.dat"]
with tempfile.TemporaryDirectory() as scratch:
    for path in models:
        name = os.path.basename(path)
        shutil.copy(os.path.join(source, path), os.path.join(scratch, "own_" + name))
        own, _ = run([quorix, "--report", "--vtu", "own_" + name], scratch)
        reference = open(os.path.join(scratch, "own_" + name + ".out")).read()
        for ranks in (1, 2):
            shutil.copy(os.path.join(source, path), os.path.join(scratch, name))
            done, _ = mumps(ranks, ["--report", "--vtu", "--svg", name], scratch)
            label = "%s on %d process%s" % (name, ranks, "" if ranks == 1 else "es")
            check(done.returncode == own.returncode, "%s: status %d, own %d" % (label, done.returncode,
                                                                                own.returncode))
            check(done.stdout == own.stdout, "%s: console %r, own %r" % (label, done.stdout, own.stdout))
            difference = agree(reference, open(os.path.join(scratch, name + ".out")).read())
            check(difference is None, "%s: %s" % (label, difference))
            report = open(os.path.join(scratch, name + ".report")).read()
            check(re.search(r"solver +MUMPS, %d process" % ranks, report) is not None, label + ": report")
            check(all(os.path.getsize(os.path.join(scratch, name + s)) > 0 for s in (".vtu", ".svg")),
                  label + ": --vtu and --svg")
            for suffix in (".out", ".report", ".vtu", ".svg"):
                os.remove(os.path.join(scratch, name + suffix))

    # A mechanism only the solver can find: a triangle hung from the clamped
    # corner (0, 0) of the cantilever by that node alone turns about it.
    lines = open(os.path.join(source, "examples/cantilever.dat")).read().split("\n")
    corners = [(0.0, 0.0), (-30.0, 0.0), (-30.0, -30.0)]
    places = [(corners[a][0] + (corners[b][0] - corners[a][0]) * t, corners[a][1] + (corners[b][1] - corners[a][1]) * t)
              for a, b in ((0, 1), (1, 2), (2, 0)) for t in (1 / 3, 2 / 3)]
    places = corners[1:] + places + [(-20.0, -10.0)]
    nodes = [" %d %r %r" % (77 + k, x, y) for k, (x, y) in enumerate(places)]
    element = " 13 1 " + " ".join(str(77 + k) for k in range(9)) + " 1 1"
    node_end = lines.index(" 76       1800.0       300.0") + 1
    element_end = next(k for k in range(lines.index("ELEMENT") + 4, len(lines)) if lines[k].startswith("-"))
    hinged = lines[:node_end] + nodes + lines[node_end:element_end] + [element] + lines[element_end:]
    for ranks in (1, 2):
        open(os.path.join(scratch, "hinged.dat"), "w").write("\n".join(hinged))
        done, _ = mumps(ranks, ["hinged.dat"], scratch)
        own, _ = run([quorix, "hinged.dat"], scratch)
        check(done.returncode == own.returncode == 3 and "quorix: the model can move freely at node" in done.stderr,
              "hinged triangle on %d: status %d, %r" % (ranks, done.returncode, done.stderr))

    model = open(os.path.join(source, "examples/hole_plate.dat")).read()
    # Bad input: every process refuses it, one message, status 1.
    open(os.path.join(scratch, "bad.dat"), "w").write(model.replace("MATERIAL", "Material", 1))
    done, _ = mumps(2, ["bad.dat"], scratch)
    ours = [line for line in done.stderr.splitlines() if line.startswith(("bad.dat:", "quorix:"))]
    check(done.returncode == 1 and len(ours) == 1,
          "bad input: status %d, %r" % (done.returncode, done.stderr))
    check(not os.path.exists(os.path.join(scratch, "bad.dat.out")), "bad input: no result file")

    # One process that cannot find its file (a folder other machines do not
    # share) stops the whole run at once with its message.
    shutil.copy(os.path.join(source, "examples/cantilever.dat"), os.path.join(scratch, "good.dat"))
    done, seconds = run([mpirun, *mpi_options, "-np", "1", quorix, "--solver", "mumps", "good.dat", ":", "-np",
                         "1", quorix, "--solver", "mumps", "elsewhere.dat"], scratch, timeout=60)
    check(done.returncode == 1 and "Can't find elsewhere.dat" in done.stdout and seconds < 20,
          "one process without its file: status %d in %.1f s, %r" % (done.returncode, seconds, done.stdout))
    check(not os.path.exists(os.path.join(scratch, "good.dat.out")), "one process without its file: no result")

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
