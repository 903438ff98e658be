#pragma once
// Sparsity patterns for the solver tests: the stiffness pattern of a structured
// plate mesh of 10-node cubic triangles, and random symmetric patterns.

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace quorix::testing {

// A matrix pattern as coordinate entries, 1-based.
struct Pattern {
  int n = 0;
  std::vector<int> rows;
  std::vector<int> cols;
  std::int64_t nz() const { return static_cast<std::int64_t>(rows.size()); }
  void add(int row, int col) {
    rows.push_back(row);
    cols.push_back(col);
  }
};

// Upper triangle, diagonal included, of the stiffness matrix of an nx x ny
// grid of square cells, each cut into two cubic triangles along its diagonal.
// The nodes are the points of a (3 nx + 1) x (3 ny + 1) lattice, numbered row
// by row from 1; node k owns equations 2k - 1 (x) and 2k (y), and every
// element couples the 20 equations of its 10 nodes. Entries come sorted by
// row, then column, as the assembled matrix holds them.
inline Pattern cubic_triangle_mesh_pattern(int nx, int ny) {
  const int width = 3 * nx + 1, height = 3 * ny + 1;
  auto node = [width](int a, int b) { return b * width + a + 1; };
  std::vector<std::vector<int>> neighbours(static_cast<std::size_t>(width) * height + 1);
  for (int cy = 0; cy < ny; ++cy) {
    for (int cx = 0; cx < nx; ++cx) {
      for (int upper = 0; upper <= 1; ++upper) {
        // The lattice points (a, b), a + b <= 3, of the lower-left triangle;
        // the upper-right one is its mirror through the cell centre.
        int element[10];
        int count = 0;
        for (int b = 0; b <= 3; ++b)
          for (int a = 0; a + b <= 3; ++a)
            element[count++] = upper ? node(3 * cx + 3 - a, 3 * cy + 3 - b) : node(3 * cx + a, 3 * cy + b);
        for (int i : element)
          for (int j : element) neighbours[static_cast<std::size_t>(i)].push_back(j);
      }
    }
  }
  Pattern pattern;
  pattern.n = 2 * width * height;
  for (int k = 1; k <= width * height; ++k) {
    std::vector<int>& list = neighbours[static_cast<std::size_t>(k)];
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    for (int row = 2 * k - 1; row <= 2 * k; ++row)
      for (int m : list)
        for (int col = 2 * m - 1; col <= 2 * m; ++col)
          if (col >= row) pattern.add(row, col);
    std::vector<int>().swap(list);
  }
  return pattern;
}

// A random symmetric pattern of order n: about `pairs` off-diagonal entries
// in either triangle, some of them repeated, every diagonal entry but those of
// `isolated` variables (which get no entry at all, so they stand alone).
inline Pattern random_pattern(int n, int pairs, unsigned seed, int isolated = 0) {
  std::mt19937 random(seed);
  auto pick = [&](int first, int last) {
    return first + static_cast<int>(random() % static_cast<unsigned>(last - first + 1));
  };
  Pattern pattern;
  pattern.n = n;
  const int linked = n - isolated;  // variables 1..linked take part
  for (int i = 1; i <= linked; ++i) pattern.add(i, i);
  for (int k = 0; k < pairs && linked >= 2; ++k) {
    const int i = pick(1, linked), j = pick(1, linked);
    if (i == j) continue;
    pattern.add(i, j);
    if (random() % 8 == 0) pattern.add(j, i);  // the same pair again, other triangle
  }
  return pattern;
}

}  // namespace quorix::testing
