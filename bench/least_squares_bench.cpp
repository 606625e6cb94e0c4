// Scaling of the structured least-squares engine with a native residual: a
// BM3 fit with errors in volume (G = 3 globals, one latent volume per point)
// at 1e3 .. 1e6 points. Prints the best time per outer iteration (Jacobian
// evaluation) of several fits, the share spent in the residual function, and
// the process's peak resident memory after each size.
//
// Times are CPU times of this (single-threaded) process: on a shared machine
// a short fit runs within one time slice while a long one is preempted, and
// wall time would charge the waiting to the larger sizes.
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "barometra/fit/engine.hpp"

namespace {

using barometra::ResidualStatus;

double cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double bm3_pressure(double volume, double v0, double k0, double k0_prime) {
  const double x = std::cbrt(v0 / volume), x2 = x * x, x5 = x2 * x2 * x;
  return 1.5 * k0 * (x5 * x2 - x5) * (1.0 + 0.75 * (k0_prime - 4.0) * (x2 - 1.0));
}

struct Bm3Problem {
  std::size_t points;
  std::vector<double> p_obs, v_obs;
  double residual_seconds = 0.0;

  explicit Bm3Problem(std::size_t n) : points(n), p_obs(n), v_obs(n) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> volume(7.0, 10.0);
    std::normal_distribution<double> noise;
    for (std::size_t k = 0; k < n; ++k) {
      const double v = volume(random);
      p_obs[k] = bm3_pressure(v, 10.0, 160.0, 4.5) + 0.1 * noise(random);
      v_obs[k] = v + 0.005 * noise(random);
    }
  }

  ResidualStatus operator()(std::span<const double> x, std::vector<double>& f) {
    const double t0 = cpu_seconds();
    f.resize(2 * points);
    for (std::size_t k = 0; k < points; ++k) {
      const double v = x[3 + k];
      f[k] = (bm3_pressure(v, x[0], x[1], x[2]) - p_obs[k]) / 0.1;
      f[points + k] = (v - v_obs[k]) / 0.005;
    }
    residual_seconds += cpu_seconds() - t0;
    return {};
  }
};

double peak_megabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main() {
  std::printf("structured BM3 fit with a native residual, G = 3, L = 1 (best of 5 fits, CPU time)\n");
  std::printf("%8s | %9s %5s %10s %7s %9s | %8s\n", "points", "fit ms", "njev", "ms/iter",
              "growth", "residual", "peak MB");
  double previous = 0.0;
  for (std::size_t points : {1000u, 10000u, 100000u, 1000000u}) {
    Bm3Problem problem(points);
    std::vector<double> x0{10.2, 140.0, 4.0};
    x0.insert(x0.end(), problem.v_obs.begin(), problem.v_obs.end());
    const std::vector<double> lower(x0.size(), -HUGE_VAL), upper(x0.size(), HUGE_VAL);
    double best = 1e300, share = 0.0;
    std::uint64_t njev = 0;
    for (int repeat = 0; repeat < 5; ++repeat) {
      problem.residual_seconds = 0.0;
      const double t0 = cpu_seconds();
      auto result = barometra::least_squares_internal(
          x0, lower, upper, {}, barometra::StructuredLayout{3, points, 1}, problem);
      const double seconds = cpu_seconds() - t0;
      if (!result || !result->success) {
        std::printf("fit failed at %zu points\n", points);
        return 1;
      }
      if (seconds < best) {
        best = seconds;
        njev = result->njev;
        share = problem.residual_seconds / seconds;
      }
    }
    const double per_iteration = best / static_cast<double>(njev);
    char growth[16] = "-";
    if (previous > 0.0) std::snprintf(growth, sizeof growth, "%.2fx", per_iteration / previous);
    std::printf("%8.0e | %9.2f %5llu %10.3f %7s %8.0f%% | %8.1f\n", static_cast<double>(points),
                best * 1e3, static_cast<unsigned long long>(njev), per_iteration * 1e3, growth,
                share * 100.0, peak_megabytes());
    previous = per_iteration;
  }
  return 0;
}
