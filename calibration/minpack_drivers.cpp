#include "minpack_drivers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include <cminpack.h>
#include <wx/log.h>

namespace {

int call_lmder(void* p, int m, int n, const double* x, double* fvec, double* fjac, int ldfjac, int iflag)
{
    return (*static_cast<const lmder_function*>(p))(m, n, x, fvec, fjac, ldfjac, iflag);
}

int call_lmdif(void* p, int m, int n, const double* x, double* fvec, int iflag)
{
    return (*static_cast<const lmdif_function*>(p))(m, n, x, fvec, iflag);
}

bool sizes_fit(int m, int n, std::span<double> x, std::span<double> fvec)
{
    return n >= 1 && m >= n && x.size() >= std::size_t(n) && fvec.size() >= std::size_t(m);
}

}  // namespace

double minpack_epsilon()
{
    return dpmpar(1);
}

int ks_lmder(const lmder_function& fcn, int m, int n, std::span<double> x, std::span<double> fvec,
             std::span<double> fjac, int ldfjac, double tol, std::span<int> ipvt)
{
    if (!fcn || !sizes_fit(m, n, x, fvec) || ldfjac < m || !(tol >= 0.0) ||
        fjac.size() < std::size_t(ldfjac) * std::size_t(n) || ipvt.size() < std::size_t(n))
        return 0;
    std::vector<double> work;
    try {
        work.assign(5 * std::size_t(n) + std::size_t(m), 0.0);
    } catch (const std::bad_alloc&) {
        wxLogError("ks_lmder: Cannot allocate work array for lmder routine.");
        return 0;
    }
    double* diag = work.data();
    double* qtf = diag + n;
    double *wa1 = qtf + n, *wa2 = wa1 + n, *wa3 = wa2 + n, *wa4 = wa3 + n;
    int nfev = 0, njev = 0;
    const int info =
        lmder(call_lmder, const_cast<lmder_function*>(&fcn), m, n, x.data(), fvec.data(), fjac.data(), ldfjac, tol, tol,
              0.0, 100 * (n + 1), diag, 1, 100.0, 0, &nfev, &njev, ipvt.data(), qtf, wa1, wa2, wa3, wa4);
    return info == 8 ? 4 : info;
}

int ks_lmdif(const lmdif_function& fcn, int m, int n, std::span<double> x, std::span<double> fvec, double tol,
             std::vector<double>* covariance, int max_evaluations, int* evaluations)
{
    if (!fcn || !sizes_fit(m, n, x, fvec) || !(tol >= 0.0))
        return 0;
    std::vector<int> ipvt;
    std::vector<double> work;
    try {
        ipvt.assign(std::size_t(n), 0);
    } catch (const std::bad_alloc&) {
        std::fputs("Cannot malloc integer work array for lmdif routine.\n", stderr);
        return 0;
    }
    try {
        work.assign(std::size_t(m) * std::size_t(n) + 5 * std::size_t(n) + std::size_t(m), 0.0);
    } catch (const std::bad_alloc&) {
        std::fputs("Cannot malloc doublereal work array for lmdif routine.\n", stderr);
        return 0;
    }
    double* fjac = work.data();
    double* diag = fjac + std::size_t(m) * std::size_t(n);
    double* qtf = diag + n;
    double *wa1 = qtf + n, *wa2 = wa1 + n, *wa3 = wa2 + n, *wa4 = wa3 + n;
    int nfev = 0;
    int info = lmdif(call_lmdif, const_cast<lmdif_function*>(&fcn), m, n, x.data(), fvec.data(), tol, tol, 0.0,
                     max_evaluations > 0 ? max_evaluations : 200 * (n + 1), 0.0, diag, 1, 100.0, 0, &nfev, fjac, m,
                     ipvt.data(), qtf, wa1, wa2, wa3, wa4);
    if (evaluations)
        *evaluations = nfev;
    if (info == 8)
        info = 4;
    if (covariance) {
        covariance->clear();
        // The spread of the solution needs more residuals than parameters.
        if (m > n && info >= 1 && info <= 4) {
            covar(n, fjac, m, ipvt.data(), minpack_epsilon(), wa1);
            double sum = 0.0;
            for (int i = 0; i < m; ++i)
                sum += fvec[std::size_t(i)] * fvec[std::size_t(i)];
            const double scale = sum / double(m - n);
            covariance->resize(std::size_t(n) * std::size_t(n));
            for (int c = 0; c < n; ++c)
                for (int r = 0; r < n; ++r)
                    (*covariance)[std::size_t(c) * std::size_t(n) + std::size_t(r)] =
                        fjac[std::size_t(c) * std::size_t(m) + std::size_t(r)] * scale;
        }
    }
    return info;
}

bool solution_determined(const lmdif_function& fcn, int m, int n, std::span<const double> x, double tolerance)
{
    if (n < 1 || m < n || x.size() < std::size_t(n))
        return false;
    const std::size_t rows = std::size_t(m);
    std::vector<double> at(x.begin(), x.begin() + n), f0(rows), f(rows);
    if (fcn(m, n, at.data(), f0.data(), 1) < 0)
        return false;
    const double step = std::sqrt(minpack_epsilon());
    std::vector<std::vector<double>> columns(static_cast<std::size_t>(n), std::vector<double>(rows));
    for (int j = 0; j < n; ++j) {
        const double h = step * std::max(std::fabs(at[std::size_t(j)]), 1.0);
        const double kept = at[std::size_t(j)];
        at[std::size_t(j)] = kept + h;
        const int status = fcn(m, n, at.data(), f.data(), 2);
        at[std::size_t(j)] = kept;
        if (status < 0)
            return false;
        double norm = 0.0;
        for (std::size_t i = 0; i < rows; ++i) {
            columns[std::size_t(j)][i] = (f[i] - f0[i]) / h;
            norm += columns[std::size_t(j)][i] * columns[std::size_t(j)][i];
        }
        norm = std::sqrt(norm);
        if (!(norm > 0.0) || !std::isfinite(norm))
            return false;
        for (double& v : columns[std::size_t(j)])
            v /= norm;
    }
    // Gram-Schmidt, the largest remaining column first: what is left of each
    // is its distance from the span of those taken before it.
    std::vector<bool> taken(std::size_t(n), false);
    for (int k = 0; k < n; ++k) {
        int best = -1;
        double best_norm = -1.0;
        for (int j = 0; j < n; ++j) {
            if (taken[std::size_t(j)])
                continue;
            double norm = 0.0;
            for (double v : columns[std::size_t(j)])
                norm += v * v;
            if (norm > best_norm) {
                best_norm = norm;
                best = j;
            }
        }
        best_norm = std::sqrt(best_norm);
        if (!(best_norm > tolerance))
            return false;
        taken[std::size_t(best)] = true;
        std::vector<double>& q = columns[std::size_t(best)];
        for (double& v : q)
            v /= best_norm;
        for (int j = 0; j < n; ++j) {
            if (taken[std::size_t(j)])
                continue;
            double along = 0.0;
            for (std::size_t i = 0; i < rows; ++i)
                along += q[i] * columns[std::size_t(j)][i];
            for (std::size_t i = 0; i < rows; ++i)
                columns[std::size_t(j)][i] -= along * q[i];
        }
    }
    return true;
}
