// One cubic triangle: corners (3,0), (0,3), (0,0).
Point(1) = {3, 0, 0, 10};
Point(2) = {0, 3, 0, 10};
Point(3) = {0, 0, 0, 10};
Line(1) = {1, 2};
Line(2) = {2, 3};
Line(3) = {3, 1};
Curve Loop(1) = {1, 2, 3};
Plane Surface(1) = {1};
Physical Point("tip") = {1};
Physical Curve("pressed") = {1};
Physical Curve("x_fixed") = {2};
Physical Curve("outline") = {1, 2, 3};
Physical Surface("plate") = {1};
