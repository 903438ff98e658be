#pragma once
// The global system of a model: the right-hand side, the solution and the
// sparse matrix, sized from the model's tables. Whatever fills a model for an
// analysis (the model file reader) creates the system through here once the
// nodes and elements are in place.

#include "model/model.hpp"

namespace quorix {

// rhs and solution with 2N zeros, the matrix with order 2N and room for
// 210 E terms (the upper triangle of each element's 20 x 20 matrix, diagonal
// included), N nodes and E elements.
void create_global_system(Model& model);
// The matrix alone, made anew as create_global_system makes it.
void create_global_matrix(Model& model);

}  // namespace quorix
