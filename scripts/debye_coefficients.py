"""Coefficients of the Debye function D3 in cpp/core/include/barometra/thermal/debye_function.hpp.

D3(x) = (3 / x^3) int_0^x t^3 / (e^t - 1) dt is approximated on [0, 8) by one
polynomial per unit interval [k, k + 1): the Chebyshev interpolant of D3 at
the zeros of T_n, D3 there by mpmath's quadrature of the integrand at 60
digits, rewritten in powers of u = x - c (c = 0 on [0, 1), c = k + 1/2
above, so that u is exact) and rounded to double. The degree n - 1 of each
piece is the smallest whose interpolant is within 2^-60 relative of D3 over
the piece; the error with the rounded coefficients is printed beside it.
Run with mpmath installed (a minute or two); it prints the C++ table:

    python scripts/debye_coefficients.py
"""

from __future__ import annotations

import mpmath as mp

mp.mp.dps = 60
PIECES = 8
TARGET = mp.mpf(2) ** -60


def debye3(x):
    """D3 by tanh-sinh quadrature of its integrand at the working precision."""
    x = mp.mpf(x)
    return 3 * mp.quad(lambda t: t**3 / mp.expm1(t), [0, x]) / x**3


def monomial_coefficients(lo, hi, center, n):
    """The degree n - 1 Chebyshev interpolant of D3 on [lo, hi], in powers of x - center."""
    mid, half = (lo + hi) / 2, (hi - lo) / 2
    nodes = [mp.cos(mp.pi * (j + mp.mpf(1) / 2) / n) for j in range(n)]
    values = [debye3(mid + half * t) for t in nodes]
    cheb = [2 * mp.fsum(v * mp.cos(mp.pi * k * (j + mp.mpf(1) / 2) / n)
                        for j, v in enumerate(values)) / n for k in range(n)]
    cheb[0] /= 2
    # t = (x - mid) / half = (u + center - mid) / half, as a polynomial in u.
    t = [(center - mid) / half, 1 / half]
    previous, current = [mp.mpf(1)], t[:]
    result = [cheb[0]] + [mp.mpf(0)] * (n - 1)
    for k in range(1, n):
        for i, c in enumerate(current):
            result[i] += cheb[k] * c
        # T_{k+1} = 2 t T_k - T_{k-1}
        following = [mp.mpf(0)] * (len(current) + 1)
        for i, c in enumerate(current):
            following[i] += 2 * t[0] * c
            following[i + 1] += 2 * t[1] * c
        for i, c in enumerate(previous):
            following[i] -= c
        previous, current = current, following
    return result


def worst_error(coefficients, samples, center):
    """Largest relative error of the polynomial over (x, D3(x)) samples."""
    return max(abs(mp.fsum(mp.mpf(c) * (x - center) ** j for j, c in enumerate(coefficients))
                   / exact - 1) for x, exact in samples)


def main():
    pieces = []
    for k in range(PIECES):
        lo, hi = mp.mpf(k), mp.mpf(k + 1)
        center = mp.mpf(0) if k == 0 else lo + mp.mpf(1) / 2
        samples = [(x, debye3(x)) for x in (lo + (hi - lo) * (i + mp.mpf(1) / 2) / 100
                                            for i in range(100))]
        for n in range(8, 30):
            coefficients = monomial_coefficients(lo, hi, center, n)
            if worst_error(coefficients, samples, center) < TARGET:
                break
        rounded = [float(c) for c in coefficients]
        print(f"// [{k}, {k + 1}): degree {n - 1}, truncation "
              f"{mp.nstr(worst_error(coefficients, samples, center), 3)}, with rounded "
              f"coefficients {mp.nstr(worst_error(rounded, samples, center), 3)}")
        pieces.append(rounded)
    degree = max(len(c) for c in pieces)
    print(f"// {PIECES} pieces, {degree} coefficients each (zeros pad the shorter ones)")
    for coefficients in pieces:
        padded = coefficients + [0.0] * (degree - len(coefficients))
        print("    {" + ", ".join(repr(c) for c in padded) + "},")


if __name__ == "__main__":
    main()
