#include "barometra/fit/linear.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "barometra/checks.hpp"
#include "counts.hpp"
#include "matrix.hpp"

namespace barometra {

namespace detail {

namespace {

// 1 where the diagonal entry is 0 or NaN, so the scaling never divides by it.
double diagonal_measure(double a) noexcept { return a != 0.0 && !std::isnan(a) ? std::fabs(a) : 1.0; }

}  // namespace

void add_marquardt_damping(std::span<double> a, std::size_t n, double lambda) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    double& d = a[i * n + i];
    d += lambda * diagonal_measure(d);
  }
}

bool solve_scaled_in_place(std::span<double> a, std::span<double> b, std::span<double> scale,
                           std::size_t n) noexcept {
  if (n == 1) {
    // The general path below with its loops unrolled, operation for
    // operation: the many 1 x 1 latent systems of a structured step.
    const double s = std::sqrt(diagonal_measure(a[0]));
    const double pivot = a[0] / (s * s);
    const double rhs = b[0] / s;
    if (std::fabs(pivot) <= kMachineEpsilon * std::max(1.0, std::fabs(pivot))) return false;
    b[0] = rhs / pivot / s;
    return true;
  }
  for (std::size_t i = 0; i < n; ++i) scale[i] = std::sqrt(diagonal_measure(a[i * n + i]));
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) a[i * n + j] /= scale[i] * scale[j];
    b[i] /= scale[i];
  }

  const double threshold = count_as_double(n) * kMachineEpsilon;
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t pivot = k;
    double pivot_magnitude = std::fabs(a[k * n + k]);
    for (std::size_t r = k + 1; r < n; ++r) {
      // Strictly larger only: among equal magnitudes the first row wins.
      if (std::fabs(a[r * n + k]) > pivot_magnitude) {
        pivot = r;
        pivot_magnitude = std::fabs(a[r * n + k]);
      }
    }
    if (pivot_magnitude <= threshold * largest_magnitude(a, 1.0)) return false;
    if (pivot != k) {
      for (std::size_t j = 0; j < n; ++j) std::swap(a[pivot * n + j], a[k * n + j]);
      std::swap(b[pivot], b[k]);
    }
    const double diagonal = a[k * n + k];
    for (std::size_t i = k + 1; i < n; ++i) {
      const double l = a[i * n + k] / diagonal;
      a[i * n + k] = 0.0;
      for (std::size_t j = k + 1; j < n; ++j) a[i * n + j] -= l * a[k * n + j];
      b[i] -= l * b[k];
    }
  }

  for (std::size_t k = n; k-- > 0;) {
    double sum = b[k];
    for (std::size_t j = k + 1; j < n; ++j) sum -= a[k * n + j] * b[j];
    b[k] = sum / a[k * n + k];
  }
  for (std::size_t i = 0; i < n; ++i) b[i] /= scale[i];
  return true;
}

}  // namespace detail

std::expected<std::vector<double>, FitError> solve_scaled_linear_system(
    std::span<const double> a, std::span<const double> b, std::size_t n) {
  const bool square = n == 0 ? a.empty() : a.size() % n == 0 && a.size() / n == n;
  if (b.size() != n || !square) {
    return std::unexpected(FitError::invalid_input("invalid scaled linear system dimensions"));
  }
  std::vector<double> work(a.begin(), a.end());
  std::vector<double> x(b.begin(), b.end());
  std::vector<double> scale(n);
  if (!detail::solve_scaled_in_place(work, x, scale, n)) {
    return std::unexpected(FitError::singular_system());
  }
  return x;
}

}  // namespace barometra
