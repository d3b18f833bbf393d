// Levenberg-Marquardt least squares through MINPACK (Debian's cminpack): the
// drivers every calibration solve goes through, with the program's fixed
// choices of tolerances, evaluation limits and scaling.
#pragma once

#include <functional>
#include <span>
#include <vector>

// Fills fvec (iflag 1) or the m x n Jacobian, column by column with leading
// dimension ldfjac (iflag 2), at x. A negative return stops the solve.
using lmder_function =
    std::function<int(int m, int n, const double* x, double* fvec, double* fjac, int ldfjac, int iflag)>;
// Fills fvec at x; iflag 1 for residuals, 2 while a Jacobian is estimated.
using lmdif_function = std::function<int(int m, int n, const double* x, double* fvec, int iflag)>;

// MINPACK's info: 0 improper input (nothing done), 1 to 4 converged (8, "ftol
// too small", is reported as 4), 5 too many evaluations, 6 and 7 tolerances
// too small to improve, negative when the function stopped it.
//
// ks_lmder: analytic Jacobian. Refuses n < 1, m < n, ldfjac < m, tol < 0
// (or spans too short); ftol = xtol = tol, gtol = 0, at most 100 (n + 1)
// evaluations. x holds the start and receives the solution; fvec, fjac and
// ipvt receive MINPACK's last residuals, factored Jacobian and pivots.
int ks_lmder(const lmder_function& fcn, int m, int n, std::span<double> x, std::span<double> fvec,
             std::span<double> fjac, int ldfjac, double tol, std::span<int> ipvt);

// ks_lmdif: forward-difference Jacobian, at most 200 (n + 1) evaluations
// (or max_evaluations when above 0; *evaluations gets how many were made). With
// `covariance`, and only when m > n and the solve converged, the n x n
// covariance of the solution (column by column), scaled by |f|^2 / (m - n).
int ks_lmdif(const lmdif_function& fcn, int m, int n, std::span<double> x, std::span<double> fvec, double tol,
             std::vector<double>* covariance = nullptr, int max_evaluations = 0, int* evaluations = nullptr);

// Whether the residuals pin every parameter down near x: the columns of
// their forward-difference Jacobian, each scaled to unit length (so that
// units do not matter), must be independent, none within `tolerance` of the
// span of the others. A solve of data that leave a direction free (one view
// repeated, poses that never turn) converges anywhere along it and must not
// count as a solution.
bool solution_determined(const lmdif_function& fcn, int m, int n, std::span<const double> x, double tolerance = 1e-6);

// MINPACK's machine precision (dpmpar(1)).
double minpack_epsilon();
