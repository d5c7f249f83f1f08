// Constrained optimisation of a design's inputs: COBYLA (NLopt), which needs
// no derivatives and takes bounds and inequality constraints, from a few
// starts spread over the box of the free inputs.  A design that the program
// refuses or that fails counts as infeasible.
#include <algorithm>
#include <cmath>
#include <map>
#include <nlopt.hpp>

#include "run/context.h"
#include "sweep/sweep.h"

namespace sweep {
namespace {

// The k-th point (k >= 1) of the Halton sequence in `dims` dimensions: starts
// spread evenly over the unit box, the same on every run.
std::vector<double> halton(int k, std::size_t dims) {
  static constexpr int kPrimes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29};
  std::vector<double> x(dims);
  for (std::size_t d = 0; d < dims; ++d) {
    const int b = kPrimes[d % std::size(kPrimes)];
    double f = 1, r = 0;
    for (int i = k; i > 0; i /= b) f /= b, r += f * (i % b);
    x[d] = r;
  }
  return x;
}

struct Problem {
  const DesignTemplate& t;
  const OptimizePlan& plan;
  std::vector<std::string> keys;
  OptimizeResult& result;
  std::map<std::vector<double>, std::size_t> seen;  // unit-box point -> history row
  double worst = 0;  // highest value NLopt was given for a design that evaluated
  bool have_worst = false;

  // What NLopt minimises for a figure value.
  double goal(double f) const { return plan.minimize ? f : -f; }

  std::vector<double> inputs(const std::vector<double>& u) const {
    std::vector<double> x(u.size());
    for (std::size_t i = 0; i < u.size(); ++i)
      x[i] = plan.free[i].lo + std::clamp(u[i], 0.0, 1.0) * (plan.free[i].hi - plan.free[i].lo);
    return x;
  }

  const Row& at(const std::vector<double>& u) {
    const auto found = seen.find(u);
    if (found != seen.end()) return result.history[found->second];
    Row row;
    row.index = static_cast<long>(result.history.size());
    row.inputs = inputs(u);
    try {
      row.evaluation = evaluate(t, keys, row.inputs, plan.evaluation);
    } catch (const run::Stopped&) {
      // Stopped within the design: it is not kept, and the optimiser ends.
      throw nlopt::forced_stop();
    }
    result.history.push_back(std::move(row));
    const std::size_t i = result.history.size() - 1;
    seen.emplace(u, i);
    const Row& r = result.history[i];
    const double f = r.evaluation.figure(plan.objective);
    if (std::isfinite(f)) worst = have_worst ? std::max(worst, goal(f)) : goal(f), have_worst = true;
    if (feasible(r, keys, plan.constraints) && std::isfinite(f) &&
        (!result.best || goal(f) < goal(result.history[*result.best].evaluation.figure(plan.objective))))
      result.best = i;
    result.best_so_far.push_back(result.best ? result.history[*result.best].evaluation.figure(plan.objective) : std::nan(""));
    if (plan.progress) plan.progress(static_cast<long>(result.history.size()));
    if (plan.stop && plan.stop()) throw nlopt::forced_stop();
    return r;
  }

  // The value of a constraint's figure (or free input) at a row.
  double value(const Row& r, const Constraint& c) const {
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == c.figure) return r.inputs[i];
    return r.evaluation.figure(c.figure);
  }
};

double objective(const std::vector<double>& u, std::vector<double>&, void* data) {
  Problem& p = *static_cast<Problem*>(data);
  const double f = p.at(u).evaluation.figure(p.plan.objective);
  // A design that failed is worse than every design seen, by a margin that
  // keeps the optimiser's numbers finite.
  return std::isfinite(f) ? p.goal(f) : p.worst + 10.0;
}

struct ConstraintData {
  Problem* problem;
  std::size_t index;
};

double constraint(const std::vector<double>& u, std::vector<double>&, void* data) {
  const ConstraintData& d = *static_cast<ConstraintData*>(data);
  const Constraint& c = d.problem->plan.constraints[d.index];
  const double v = d.problem->value(d.problem->at(u), c);
  if (!std::isfinite(v)) return 1.0;  // a failed design violates every constraint
  return c.at_most ? v - c.value : c.value - v;
}

}  // namespace

std::vector<std::string> bounds_reached(const std::vector<Free>& free, const std::vector<double>& inputs) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < free.size() && i < inputs.size(); ++i) {
    const double margin = kAtBoundShare * (free[i].hi - free[i].lo);
    if (inputs[i] - free[i].lo <= margin)
      out.push_back("at the lower bound of " + free[i].key);
    else if (free[i].hi - inputs[i] <= margin)
      out.push_back("at the upper bound of " + free[i].key);
  }
  return out;
}

OptimizeResult optimize(const DesignTemplate& t, const OptimizePlan& plan) {
  OptimizeResult result;
  Problem p{t, plan, {}, result, {}, 0, false};
  for (const Free& f : plan.free) p.keys.push_back(f.key);
  const std::size_t n = plan.free.size();
  std::vector<ConstraintData> data;
  for (std::size_t i = 0; i < plan.constraints.size(); ++i) data.push_back({&p, i});
  for (int start = 0; start < plan.starts; ++start) {
    nlopt::opt opt(nlopt::LN_COBYLA, static_cast<unsigned>(n));
    opt.set_lower_bounds(std::vector<double>(n, 0.0));
    opt.set_upper_bounds(std::vector<double>(n, 1.0));
    opt.set_min_objective(objective, &p);
    for (ConstraintData& d : data) opt.add_inequality_constraint(constraint, &d, 1e-9);
    opt.set_maxeval(plan.evaluations);
    opt.set_xtol_abs(1e-4);
    opt.set_initial_step(0.15);
    // The first start from the middle of the box, the others spread over it.
    std::vector<double> u = start == 0 ? std::vector<double>(n, 0.5) : halton(start, n);
    double f = 0;
    try {
      opt.optimize(u, f);
    } catch (const nlopt::forced_stop&) {
      break;
    } catch (const std::exception&) {
      // A start that NLopt gives up on (a roundoff limit) keeps what it found.
    }
    if (plan.stop && plan.stop()) break;
  }
  return result;
}

}  // namespace sweep
