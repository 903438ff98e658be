#pragma once
// The element loop of both analyses: element matrices and vectors computed
// side by side on a task pool, each element's terms written to its
// own fixed place in the term list, so that the list, and with it every sum
// the compression forms, is the one element-by-element assembly gives.

#include <functional>

#include "element/element_tables.hpp"
#include "element/small_matrix.hpp"
#include "model/model.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {

class TaskPool;

// Computes an element's 20 x 20 matrix (when `matrix` is not null) and its
// 20-vector. Called concurrently for different elements.
using ElementTerms = std::function<void(const ElementData& element, Mat20* matrix, Vec20& vector)>;

// For every element in table order: its matrix terms appended to `matrix`
// (when given) as add_element_matrix appends them, its vector added into
// rhs(d(j)), j = 1..20, elements in table order, d its equation numbers.
// The elements are worked on `pool`, or without one on the calling thread;
// only those at positions first <= e < end (from 0) when end >= 0.
void assemble_elements(const Model& model, SparseMatrix* matrix, Table1<double>& rhs, TaskPool* pool,
                       const ElementTerms& terms, int first = 0, int end = -1);

}  // namespace quorix
