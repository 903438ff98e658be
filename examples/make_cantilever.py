#!/usr/bin/env python3
"""Writes cantilever.dat: a steel plate strip clamped at x = 0, carrying its
own weight, a uniform load on its top edge and a point load at its free end.

Units: mm and N (stresses in N/mm^2). The strip, 1800 long and 300 high, is cut
into NX square cells, each split into two 10-node cubic triangles along the
diagonal from its lower left to its upper right corner. Every node sits on a
grid of spacing cell/3, and every grid point is a node; nodes are numbered by
rows from the bottom left, so node ids equal their positions.

Usage: python3 make_cantilever.py > cantilever.dat
"""

NX = 6           # cells along the strip
LENGTH = 1800.0
HEIGHT = 300.0
TOP_LOAD = -0.5      # N/mm along the top edge, in y
TIP_FORCE = -2000.0  # N in y at the top corner of the free end

GX = 3 * NX  # grid intervals along x
GY = 3       # grid intervals along y (one cell high)


def node_number(i, j):
    """Node at grid point (i, j), 0 <= i <= GX, 0 <= j <= GY."""
    return j * (GX + 1) + i + 1


def coordinates(i, j):
    return i * LENGTH / GX, j * HEIGHT / GY


def triangle(corners):
    """The ten grid points of a cubic triangle with counter-clockwise corners:
    corners 1-3, two points on each edge (the one next to the edge's first
    corner first), then the centroid."""
    (x1, y1), (x2, y2), (x3, y3) = corners
    area2 = (x2 - x1) * (y3 - y1) - (x3 - x1) * (y2 - y1)
    assert area2 > 0, "corners must be counter-clockwise"
    points = list(corners)
    for (ax, ay), (bx, by) in (((x1, y1), (x2, y2)), ((x2, y2), (x3, y3)), ((x3, y3), (x1, y1))):
        for t in (1, 2):
            px, py = ax * (3 - t) + bx * t, ay * (3 - t) + by * t
            assert px % 3 == 0 and py % 3 == 0
            points.append((px // 3, py // 3))
    cx, cy = x1 + x2 + x3, y1 + y2 + y3
    assert cx % 3 == 0 and cy % 3 == 0
    points.append((cx // 3, cy // 3))
    return [node_number(i, j) for i, j in points]


def main():
    elements = []
    top_edges = []  # (element, edge) pairs on y = HEIGHT
    for c in range(NX):
        i0 = 3 * c
        # Lower triangle: its corner 3 is the upper right corner of the cell.
        elements.append(triangle([(i0, 0), (i0 + 3, 0), (i0 + 3, 3)]))
        # Upper triangle: edge 2 (corner 2 to corner 3) is the cell's top edge.
        elements.append(triangle([(i0, 0), (i0 + 3, 3), (i0, 3)]))
        top_edges.append((len(elements), 2))

    used = sorted({n for element in elements for n in element})
    assert used == list(range(1, (GX + 1) * (GY + 1) + 1)), "every grid point must be a node"
    for element in elements:
        assert len(set(element)) == 10

    out = []
    rule = "-" * 72
    out += ["GENERAL", rule, " type     stress state   increments   tolerance   penalty", rule,
            " LINEAR   PLANE_STRESS   1            1.0E-6      1.0E6", rule]
    out += ["NODE", rule, " number   x            y", rule]
    for j in range(GY + 1):
        for i in range(GX + 1):
            x, y = coordinates(i, j)
            out.append(f" {node_number(i, j):<8d} {x:<12.1f} {y:.1f}")
    out.append(rule)
    out += ["MATERIAL", rule, " number   E          nu     weight", rule,
            " 1        210000.0   0.3    7.85E-5", rule]
    out += ["THICKNESS", rule, " number   thickness", rule, " 1        10.0", rule]
    out += ["ELEMENT", rule, " number   nodes 1 to 10" + " " * 40 + "material   thickness", rule]
    for k, element in enumerate(elements, start=1):
        nodes = " ".join(f"{n:>3d}" for n in element)
        out.append(f" {k:<8d} {nodes}     1          1")
    out.append(rule)
    out += ["FORCE", rule, " number   node   fx     fy", rule,
            f" 1        {node_number(GX, GY):<6d} 0.0    {TIP_FORCE}", rule]
    out += ["PRESSURE", rule, " number   element   edge   system   q1 start, end   q2 start, end", rule]
    for k, (element, edge) in enumerate(top_edges, start=1):
        out.append(f" {k:<8d} {element:<9d} {edge:<6d} GLOBAL   0.0  0.0        {TOP_LOAD}  {TOP_LOAD}")
    out.append(rule)
    out += ["DISPLACEMENT", rule, " number   node   direction   value", rule]
    for k, j in enumerate(range(GY + 1), start=1):
        out.append(f" {k:<8d} {node_number(0, j):<6d} BOTH        0.0")
    out.append(rule)
    print("\n".join(out))


if __name__ == "__main__":
    main()
