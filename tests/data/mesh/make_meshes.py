#!/usr/bin/env python3
"""Writes the test meshes of this folder with Gmsh (4.8): each geometry in MSH
2.2 and 4.1, ASCII and binary, the 4.1 files with parametric node
coordinates; copies of the ASCII two_squares meshes with sparse, unordered
node and element tags; and three meshes that quorix-mesh must refuse (order 2,
incomplete cubic triangles, physical curves without a physical surface).

Usage: python3 make_meshes.py   (in this folder, gmsh on PATH)
"""
import os
import subprocess
import tempfile

VARIANTS = {
    "v22": ["-format", "msh22"],
    "v22_binary": ["-format", "msh22", "-bin"],
    "v41": ["-format", "msh41", "-setnumber", "Mesh.SaveParametric", "1"],
    "v41_binary": ["-format", "msh41", "-bin", "-setnumber", "Mesh.SaveParametric", "1"],
}


def gmsh(geo, out, *options, order="3"):
    subprocess.run(["gmsh", "-2", "-order", order, *options, geo, "-o", out], check=True,
                   stdout=subprocess.DEVNULL)


def sparse(tag):
    """An injective map of the tags 1..10006 that leaves gaps and no order."""
    return 1000 + (tag * 7919) % 10007


def sparse_v22(lines):
    out, section = [], None
    for line in lines:
        words = line.split()
        if line.startswith("$"):
            section = line.strip()
        elif section == "$Nodes" and len(words) == 4:
            words[0] = str(sparse(int(words[0])))
            line = " ".join(words)
        elif section == "$Elements" and len(words) > 3:
            tags = 3 + int(words[2])
            words = [str(sparse(int(words[0])))] + words[1:tags] + [str(sparse(int(w))) for w in words[tags:]]
            line = " ".join(words)
        out.append(line)
    return out


def sparse_v41(lines):
    out, i = [], 0
    while i < len(lines):
        out.append(lines[i])
        if lines[i] == "$Nodes" or lines[i] == "$Elements":
            nodes = lines[i] == "$Nodes"
            blocks, count, _, _ = map(int, lines[i + 1].split())
            tags = [sparse(t) for t in range(1, count + 1)]
            out.append(f"{blocks} {count} {min(tags)} {max(tags)}")
            i += 2
            for _ in range(blocks):
                header = lines[i].split()
                out.append(lines[i])
                n = int(header[3])
                i += 1
                if nodes:
                    out += [str(sparse(int(t))) for t in lines[i:i + n]]
                    out += lines[i + n:i + 2 * n]
                    i += 2 * n
                else:
                    for line in lines[i:i + n]:
                        out.append(" ".join(str(sparse(int(w))) for w in line.split()))
                    i += n
            continue
        i += 1
    return out


def main():
    for geo in ("one_element", "two_squares"):
        for variant, options in VARIANTS.items():
            gmsh(geo + ".geo", f"{geo}_{variant}.msh", *options)
    for variant, edit in (("v22", sparse_v22), ("v41", sparse_v41)):
        with open(f"two_squares_{variant}.msh") as f:
            lines = f.read().splitlines()
        with open(f"two_squares_{variant}_sparse.msh", "w") as f:
            f.write("\n".join(edit(lines)) + "\n")
    gmsh("one_element.geo", "one_element_order2.msh", "-format", "msh41", order="2")
    gmsh("one_element.geo", "one_element_incomplete.msh", "-format", "msh22", "-setnumber",
         "Mesh.SecondOrderIncomplete", "1")
    with open("one_element.geo") as f:
        text = f.read()
    with tempfile.TemporaryDirectory() as scratch:
        geo = os.path.join(scratch, "curves_only.geo")
        with open(geo, "w") as f:
            f.write("\n".join(l for l in text.splitlines() if not l.startswith("Physical Surface")) + "\n")
        gmsh(geo, "curves_only.msh", "-format", "msh41")


if __name__ == "__main__":
    main()
