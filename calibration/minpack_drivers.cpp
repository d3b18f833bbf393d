#include "minpack_drivers.h"

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

double minpack_epsilon() { return dpmpar(1); }

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
    const int info = lmder(call_lmder, const_cast<lmder_function*>(&fcn), m, n, x.data(), fvec.data(), fjac.data(),
                           ldfjac, tol, tol, 0.0, 100 * (n + 1), diag, 1, 100.0, 0, &nfev, &njev, ipvt.data(), qtf,
                           wa1, wa2, wa3, wa4);
    return info == 8 ? 4 : info;
}

int ks_lmdif(const lmdif_function& fcn, int m, int n, std::span<double> x, std::span<double> fvec, double tol,
             std::vector<double>* covariance)
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
                     200 * (n + 1), 0.0, diag, 1, 100.0, 0, &nfev, fjac, m, ipvt.data(), qtf, wa1, wa2, wa3, wa4);
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
