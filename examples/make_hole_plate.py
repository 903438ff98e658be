#!/usr/bin/env python3
"""Writes hole_plate.dat: a square steel plate with a circular hole in its
middle, pulled at two opposite edges. By symmetry one quarter is modelled:
the square 0 <= x, y <= HALF with the hole of radius RADIUS at the origin cut
out. The edge x = 0 is held in x and the edge y = 0 in y (the planes of
symmetry); the edge x = HALF carries a uniform tension. The stress peaks at
the top of the hole, (0, RADIUS), at about three times the tension.

Units: mm and N (stresses in N/mm^2). The quarter is mapped from a rectangle
of angle (0 to 90 degrees) and distance from the hole (0 to 1): a point at
angle t and distance d lies on the straight line from the hole's edge at t to
the plate's edge at t, a share d^1.5 of the way out, so the elements get
smaller towards the hole. Every grid point of spacing a third of a cell,
mapped, is a node: elements along the hole have their edge nodes on the
circle and are curved.

Usage: python3 make_hole_plate.py > hole_plate.dat
"""
import math

HALF = 100.0      # half the plate's width
RADIUS = 20.0     # of the hole
THICKNESS = 10.0
TENSION = 10.0    # N/mm^2 on the edge x = HALF: an edge load of TENSION * THICKNESS per mm
N_ANGLE = 8       # cells around the hole (an even number: 45 degrees on a grid line)
N_OUT = 6         # cells from the hole to the plate's edge

GA = 3 * N_ANGLE  # grid intervals around
GO = 3 * N_OUT    # grid intervals outwards


def node_number(i, j):
    """Node at grid point (i, j): i outwards, 0 <= i <= GO; j around, 0 <= j <= GA."""
    return j * (GO + 1) + i + 1


def coordinates(i, j):
    angle = 0.5 * math.pi * j / GA
    share = (i / GO) ** 1.5
    cx, cy = RADIUS * math.cos(angle), RADIUS * math.sin(angle)
    if 2 * j <= GA:  # on the right edge of the square
        ox, oy = HALF, HALF * math.tan(angle)
    else:            # on its top edge
        ox, oy = HALF * math.cos(angle) / math.sin(angle), HALF
    if j == GA:
        cx, ox = 0.0, 0.0  # exactly on the axis, not 1e-15 off it
    return cx + share * (ox - cx), cy + share * (oy - cy)


def triangle(corners):
    """The ten grid points of a cubic triangle: corners 1-3 (counter-clockwise
    in the plate, since outwards then around turns left), two points on each
    edge (the one next to the edge's first corner first), then the centroid."""
    points = list(corners)
    for a, b in ((0, 1), (1, 2), (2, 0)):
        (ai, aj), (bi, bj) = corners[a], corners[b]
        for t in (1, 2):
            points.append(((ai * (3 - t) + bi * t) // 3, (aj * (3 - t) + bj * t) // 3))
    points.append((sum(c[0] for c in corners) // 3, sum(c[1] for c in corners) // 3))
    return [node_number(i, j) for i, j in points]


def main():
    elements = []
    loaded = []  # elements whose edge 2 lies on x = HALF
    for b in range(N_ANGLE):
        for a in range(N_OUT):
            i0, j0 = 3 * a, 3 * b
            # Lower triangle: corners 2 and 3 are the cell's outer corners.
            elements.append(triangle([(i0, j0), (i0 + 3, j0), (i0 + 3, j0 + 3)]))
            if a == N_OUT - 1 and 2 * (j0 + 3) <= GA:
                loaded.append(len(elements))
            elements.append(triangle([(i0, j0), (i0 + 3, j0 + 3), (i0, j0 + 3)]))

    rule = "-" * 72
    out = []
    out += ["GENERAL", rule, " type     stress state   increments   tolerance   penalty", rule,
            " LINEAR   PLANE_STRESS   1            1.0E-6      1.0E6", rule]
    out += ["NODE", rule, " number   x                      y", rule]
    for j in range(GA + 1):
        for i in range(GO + 1):
            x, y = coordinates(i, j)
            out.append(f" {node_number(i, j):<8d} {x!r:<22} {y!r}")
    out.append(rule)
    out += ["MATERIAL", rule, " number   E          nu     weight", rule,
            " 1        210000.0   0.3    7.85E-5", rule]
    out += ["THICKNESS", rule, " number   thickness", rule, f" 1        {THICKNESS}", rule]
    out += ["ELEMENT", rule, " number   nodes 1 to 10                                material   thickness", rule]
    for k, nodes in enumerate(elements, 1):
        out.append(f" {k:<8d} " + " ".join(f"{n:<3d}" for n in nodes) + "   1          1")
    out.append(rule)
    out += ["PRESSURE", rule, " number   element   edge   system   q1 start, end   q2 start, end", rule]
    for k, e in enumerate(loaded, 1):
        q = TENSION * THICKNESS
        out.append(f" {k:<8d} {e:<9d} 2      GLOBAL   {q} {q}     0.0 0.0")
    out.append(rule)
    out += ["DISPLACEMENT", rule, " number   node   direction   value", rule]
    records = [(node_number(i, GA), "X") for i in range(GO + 1)]  # on x = 0
    records += [(node_number(i, 0), "Y") for i in range(GO + 1)]  # on y = 0
    for k, (n, d) in enumerate(records, 1):
        out.append(f" {k:<8d} {n:<6d} {d:<11s} 0.0")
    out.append(rule)
    print("\n".join(out))


if __name__ == "__main__":
    main()
