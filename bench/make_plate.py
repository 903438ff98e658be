#!/usr/bin/env python3
"""Writes a rectangular plate model of 10-node cubic triangles.

The plate spans nx by ny unit cells, each cut along its falling diagonal into
two triangles. The edge x = 0 is clamped; the edge x = nx carries a uniform
edge load, either a tension (normal to the edge) or a shear (downwards).

    make_plate.py NX NY OUT [--load tension|shear] [--type LINEAR|NONLINEAR]
                  [--increments K] [--value Q] [--state PLANE_STRESS|PLANE_STRAIN]
                  [--length LX] [--height LY] [--young E] [--poisson NU]
"""
import argparse


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("nx", type=int)
    ap.add_argument("ny", type=int)
    ap.add_argument("out")
    ap.add_argument("--load", choices=["tension", "shear"], default="tension")
    ap.add_argument("--type", default="LINEAR")
    ap.add_argument("--state", default="PLANE_STRESS")
    ap.add_argument("--increments", type=int, default=1)
    ap.add_argument("--value", type=float, default=10.0)
    ap.add_argument("--length", type=float, default=None)
    ap.add_argument("--height", type=float, default=None)
    ap.add_argument("--young", type=float, default=210000.0)
    ap.add_argument("--poisson", type=float, default=0.3)
    ap.add_argument("--weight", type=float, default=0.0)
    ap.add_argument("--thickness", type=float, default=1.0)
    a = ap.parse_args()
    nx, ny = a.nx, a.ny
    lx = a.length if a.length is not None else float(nx)
    ly = a.height if a.height is not None else float(ny)
    cols = 3 * nx + 1
    rows = 3 * ny + 1

    def node(i, j):  # lattice point (i, j), spacing a third of a cell
        return j * cols + i + 1

    rule = "-" * 60 + "\n"
    out = []
    out.append("GENERAL\n" + rule + " type  state  increments  tolerance  penalty\n" + rule)
    out.append(f" {a.type} {a.state} {a.increments} 1.0E-6 1.0E6\n" + rule)
    out.append("NODE\n" + rule + " number x y\n" + rule)
    for j in range(rows):
        y = ly * j / (rows - 1)
        for i in range(cols):
            out.append(f"{node(i, j)} {lx * i / (cols - 1)!r} {y!r}\n")
    out.append(rule)
    out.append("MATERIAL\n" + rule + " number E nu weight\n" + rule)
    out.append(f"1 {a.young!r} {a.poisson!r} {a.weight!r}\n" + rule)
    out.append("THICKNESS\n" + rule + " number thickness\n" + rule + f"1 {a.thickness!r}\n" + rule)

    def tri(c1, c2, c3):
        # Corners counter-clockwise, then the edge nodes next to corners 1, 2,
        # 2, 3, 3, 1 and the centroid, all lattice points.
        def at(p, q, r):  # p c1 + q c2 + r c3 in thirds
            i = (p * c1[0] + q * c2[0] + r * c3[0]) // 3
            j = (p * c1[1] + q * c2[1] + r * c3[1]) // 3
            return node(i, j)
        return [at(3, 0, 0), at(0, 3, 0), at(0, 0, 3), at(2, 1, 0), at(1, 2, 0),
                at(0, 2, 1), at(0, 1, 2), at(1, 0, 2), at(2, 0, 1), at(1, 1, 1)]

    out.append("ELEMENT\n" + rule + " number nodes material thickness\n" + rule)
    loaded = []
    e = 0
    for cy in range(ny):
        for cx in range(nx):
            a0 = (3 * cx, 3 * cy)
            b0 = (3 * cx + 3, 3 * cy)
            c0 = (3 * cx + 3, 3 * cy + 3)
            d0 = (3 * cx, 3 * cy + 3)
            e += 1
            out.append(f"{e} " + " ".join(map(str, tri(a0, b0, d0))) + " 1 1\n")
            e += 1
            out.append(f"{e} " + " ".join(map(str, tri(b0, c0, d0))) + " 1 1\n")
            if cx == nx - 1:
                loaded.append(e)  # its edge 1 (corner 1 to corner 2) lies on x = lx
    out.append(rule)
    out.append("PRESSURE\n" + rule + " number element edge system values\n" + rule)
    for k, el in enumerate(loaded, 1):
        if a.load == "tension":
            out.append(f"{k} {el} 1 LOCAL 0.0 0.0 {a.value!r} {a.value!r}\n")
        else:
            out.append(f"{k} {el} 1 GLOBAL 0.0 0.0 {-a.value!r} {-a.value!r}\n")
    out.append(rule)
    out.append("DISPLACEMENT\n" + rule + " number node direction value\n" + rule)
    for k, j in enumerate(range(rows), 1):
        out.append(f"{k} {node(0, j)} BOTH 0.0\n")
    out.append(rule)
    with open(a.out, "w") as f:
        f.write("".join(out))


if __name__ == "__main__":
    main()
