// Two unit squares side by side, the left one drawn clockwise (so Gmsh writes
// its triangles clockwise), the right one counter-clockwise; a line beside
// them that no triangle touches; both squares also in the group "all" (so a
// 2.2 file writes each triangle twice). The right side runs downwards, with
// the triangle edges, the top leftwards, against them.
Point(1) = {0, 0, 0, 1};
Point(2) = {1, 0, 0, 1};
Point(3) = {2, 0, 0, 1};
Point(4) = {2, 1, 0, 1};
Point(5) = {1, 1, 0, 1};
Point(6) = {0, 1, 0, 1};
Point(7) = {3, 0, 0, 1};
Point(8) = {3, 1, 0, 1};
Line(1) = {1, 2};
Line(2) = {2, 3};
Line(3) = {4, 3};
Line(4) = {4, 5};
Line(5) = {5, 6};
Line(6) = {6, 1};
Line(7) = {2, 5};
Line(8) = {7, 8};
Curve Loop(1) = {-6, -5, -7, -1};
Plane Surface(1) = {1};
Curve Loop(2) = {2, -3, 4, -7};
Plane Surface(2) = {2};
Physical Point("tip") = {4};
Physical Curve("left") = {6};
Physical Curve("right") = {3};
Physical Curve("top") = {4, 5};
Physical Curve("stray") = {8};
Physical Surface("steel") = {1};
Physical Surface("aluminium") = {2};
Physical Surface("all") = {1, 2};
