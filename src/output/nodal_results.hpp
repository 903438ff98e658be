#pragma once
// The results every output format shows, computed once after the analysis:
// the element stresses averaged at the nodes, the principal and von Mises
// stresses derived from the averages, and the support reactions.

#include <string>

#include "element/element_tables.hpp"
#include "model/model.hpp"

namespace quorix {

class TaskPool;

// The principal stresses of a node, S11 >= S22 >= S33, and its von Mises
// stress, from the node's averaged components.
struct PrincipalStresses {
  double s11 = 0.0;
  double s22 = 0.0;
  double s33 = 0.0;
  double von_mises = 0.0;
};
PrincipalStresses principal_stresses(double sxx, double syy, double szz, double sxy);

// Averaged components at one node and what is derived from them. A node that
// belongs to no element has no stresses to average; it gets zeros.
struct NodeStress {
  double sxx = 0.0;
  double syy = 0.0;
  double szz = 0.0;
  double sxy = 0.0;
  PrincipalStresses principal;
};

struct NodalResults {
  // By node number, as the result file lists them: Sxx, Syy and Sxy are
  // stress times thickness (force per length of plate), Szz is the stress
  // itself; the principal and von Mises stresses are stress times thickness,
  // formed from Sxx, Syy, Sxy and the node's mean of Szz times thickness.
  Table1<NodeStress> listed;
  // By node number, the stresses themselves: every element's values divided
  // by its thickness before they are averaged.
  Table1<NodeStress> stress;
  // By equation (node k: 2k - 1 in x, 2k in y), the force each support
  // exerts on the plate; zero at free equations. Empty when not computed.
  Table1<double> reactions;
  // By element number, each element's estimated stress error as a share of
  // the solution (error_estimate.hpp). Empty when not estimated.
  Table1<double> error_indicator;
};

// Evaluates every element's stresses at its nodes from the node records'
// displacements and averages them, node by node, over the elements that share
// the node. The reactions are left empty. The elements are worked on `pool`.
NodalResults nodal_results(const Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                           TaskPool& pool);

// The first node whose results hold a value that is not a finite number
// (infinite or NaN): coordinates, displacements, stresses, principal or von
// Mises stresses. Returns its number and sets `what` to the first such value
// ("u = inf"); returns 0 when every value is finite.
int first_non_finite_node(const Model& model, const NodalResults& results, std::string& what);

}  // namespace quorix
