// A quarter of a thick ring, radii 25 and 50, under an inner pressure, in
// plane strain: the model thick_ring.dat of the golden runs was meshed from
// it with gmsh -2 -order 3 thick_ring.geo -o thick_ring.msh, then written by
// the quorix-mesh command on its first line.
inner = 25;
outer = 50;
size = 12;
Point(1) = {0, 0, 0, size};
Point(2) = {inner, 0, 0, size};
Point(3) = {outer, 0, 0, size};
Point(4) = {0, outer, 0, size};
Point(5) = {0, inner, 0, size};
Line(1) = {2, 3};
Circle(2) = {3, 1, 4};
Line(3) = {4, 5};
Circle(4) = {5, 1, 2};
Curve Loop(1) = {1, 2, 3, 4};
Plane Surface(1) = {1};
Physical Curve("x_axis") = {1};
Physical Curve("y_axis") = {3};
Physical Curve("bore") = {4};
Physical Surface("ring") = {1};
