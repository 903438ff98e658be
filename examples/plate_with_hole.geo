// A plate 20 long and 10 wide with a central circular hole of radius 1,
// pulled along its length. By symmetry only the quarter x >= 0, y >= 0 is
// meshed: the axes carry the symmetry conditions, the end x = 10 is pulled.
//
//   gmsh -2 -order 3 plate_with_hole.geo -o plate_with_hole.msh
//
// Gmsh keeps only the elements of physical groups; the names are what
// quorix-mesh's conditions refer to.
half_length = 10;
half_width = 5;
radius = 1;
fine = 0.12;    // element size at the hole
coarse = 1.5;   // element size far from it

Point(1) = {radius, 0, 0, fine};
Point(2) = {half_length, 0, 0, coarse};
Point(3) = {half_length, half_width, 0, coarse};
Point(4) = {0, half_width, 0, coarse};
Point(5) = {0, radius, 0, fine};
Point(6) = {0, 0, 0, fine};  // the centre of the hole

Line(1) = {1, 2};       // on the x axis
Line(2) = {2, 3};       // the pulled end
Line(3) = {3, 4};       // the free long edge
Line(4) = {4, 5};       // on the y axis
Circle(5) = {5, 6, 1};  // the quarter of the hole

Curve Loop(1) = {1, 2, 3, 4, 5};
Plane Surface(1) = {1};

Physical Curve("x_axis") = {1};
Physical Curve("y_axis") = {4};
Physical Curve("pulled") = {2};
Physical Curve("hole") = {5};
Physical Surface("plate") = {1};
