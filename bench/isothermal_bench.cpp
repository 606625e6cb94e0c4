// ns per call of isothermal pressure and volume inversion, against a
// hand-written loop of the BM3 formula as the floor. Also counts heap
// allocations made inside the timed loops (there should be none).
//   cmake -S . -B build-bench -DBAROMETRA_BUILD_BENCH=ON && cmake --build build-bench
//   ./build-bench/bench/isothermal_bench
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "barometra/isothermal/batch.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "bench_support.hpp"

namespace {

using namespace barometra;
using bench::Timing;
using bench::time_loop;
using bench::value_or_nan;

constexpr double kV0 = 11.25, kK0 = 160.0, kK0Prime = 4.5;

// The BM3 formula written out by hand, with no checks: the floor.
double bm3_by_hand(double v) {
  const double x = std::cbrt(kV0 / v);
  const double x2 = x * x;
  const double f = (x2 - 1.0) / 2.0;
  return 3.0 * kK0 * f * x * x2 * x2 * (1.0 + 1.5 * (kK0Prime - 4.0) * f);
}

// Hand-written Vinet and Holzapfel, the floors for models that also need exp.
double vinet_by_hand(double v) {
  const double y = std::cbrt(v / kV0);
  const double eta = 1.5 * (kK0Prime - 1.0);
  return 3.0 * kK0 * (1.0 - y) / (y * y) * std::exp(eta * (1.0 - y));
}

struct HolzapfelByHand {
  double c0, c2;
  double operator()(double v) const {
    const double y = std::cbrt(v / kV0);
    const double y2 = y * y, y4 = y2 * y2;
    return 3.0 * kK0 * std::exp(c0 * (1.0 - y)) * (1.0 / (y4 * y) - 1.0 / y4) *
           (1.0 + c2 * y - c2 * y2);
  }
};

void report(const char* name, Timing t, double floor, double bm3_floor) {
  std::printf("%-28s %9.2f ns/call  %5.2fx own floor  %6.2fx BM3 floor  allocations: %ld\n", name,
              t.ns_per_call, t.ns_per_call / floor, t.ns_per_call / bm3_floor, t.allocations);
}

}  // namespace

int main() {
  constexpr std::size_t n = 1 << 20;
  std::vector<double> volumes(n), pressures(n), out(n);
  for (std::size_t i = 0; i < n; ++i) {
    volumes[i] = kV0 * (0.6 + 0.5 * static_cast<double>(i) / n);
  }
  const auto bm3 = *BM3::create(kV0, kK0, kK0Prime);
  const auto vinet = *Vinet::create(kV0, kK0, kK0Prime);
  const auto holzapfel = *Holzapfel::create(kV0, kK0, kK0Prime, 3.0, 10.0);
  const RtModel rt_bm3 = bm3;
  for (std::size_t i = 0; i < n; ++i) pressures[i] = *bm3.pressure(volumes[i]);

  time_loop(volumes, out, bm3_by_hand, 3);  // warm-up: let the clock frequency settle
  const double bm3_floor = time_loop(volumes, out, bm3_by_hand).ns_per_call;
  const double vinet_floor = time_loop(volumes, out, vinet_by_hand).ns_per_call;
  const double holzapfel_floor =
      time_loop(volumes, out, HolzapfelByHand{holzapfel.c0(), holzapfel.c2()}).ns_per_call;
  auto timed = [&](const auto& model) {
    return time_loop(volumes, out, [&](double v) { return value_or_nan(model.pressure(v)); });
  };
  std::printf("floors (hand-written, unchecked): BM3 %.2f ns, Vinet %.2f ns, Holzapfel %.2f ns\n",
              bm3_floor, vinet_floor, holzapfel_floor);
  report("BM3 pressure", timed(bm3), bm3_floor, bm3_floor);
  report("RtModel BM3 pressure", timed(rt_bm3), bm3_floor, bm3_floor);
  report("Vinet pressure", timed(vinet), vinet_floor, bm3_floor);
  report("Holzapfel pressure", timed(holzapfel), holzapfel_floor, bm3_floor);
  report("BM3 bulk modulus",
         time_loop(volumes, out, [&](double v) { return value_or_nan(bm3.bulk_modulus(v)); }),
         bm3_floor, bm3_floor);

  std::vector<double> some_pressures(pressures.begin(), pressures.begin() + n / 16);
  std::vector<double> some_out(some_pressures.size());
  const Timing inversion = time_loop(
      some_pressures, some_out, [&](double p) { return value_or_nan(rt_bm3.volume(p)); }, 3);
  report("BM3 volume inversion", inversion, bm3_floor, bm3_floor);

  double worst = 0.0;
  for (std::size_t i = 0; i < some_out.size(); ++i) {
    worst = std::max(worst, std::fabs(some_out[i] - volumes[i]) / volumes[i]);
  }
  std::printf("largest relative inversion error: %.2e\n", worst);

  // Batches on one core, per instruction set: ns per element, best of 7.
  auto batch_ns = [&](const RtModel& model, BatchOperation op, const std::vector<double>& in,
                      simd::Isa isa) {
    std::vector<double> result(in.size());
    double best = 1e300;
    for (int r = 0; r < 7; ++r) {
      const auto start = std::chrono::steady_clock::now();
      (void)evaluate_batch(model, op, in, result, isa);
      const auto stop = std::chrono::steady_clock::now();
      best = std::min(best, std::chrono::duration<double, std::nano>(stop - start).count());
    }
    return best / static_cast<double>(in.size());
  };
  // Cache-resident inputs (4096 elements), so that the kernel, not memory, is timed.
  const std::vector<double> small(volumes.begin(), volumes.begin() + 4096);
  const std::vector<double> small_p(pressures.begin(), pressures.begin() + 4096);
  const RtModel rt_vinet = vinet, rt_holzapfel = holzapfel;
  std::printf("\nbatch, ns per element on one core (4096 cached elements)\n");
  std::printf("%-8s %9s %9s %9s %9s %11s %12s\n", "isa", "BM3 P", "BM3 K", "Vinet P", "Vinet K",
              "Holzapfel P", "BM3 volume");
  for (simd::Isa isa : simd::supported_isas()) {
    std::printf("%-8s %9.2f %9.2f %9.2f %9.2f %11.2f %12.1f\n", simd::isa_name(isa),
                batch_ns(rt_bm3, BatchOperation::Pressure, small, isa),
                batch_ns(rt_bm3, BatchOperation::BulkModulus, small, isa),
                batch_ns(rt_vinet, BatchOperation::Pressure, small, isa),
                batch_ns(rt_vinet, BatchOperation::BulkModulus, small, isa),
                batch_ns(rt_holzapfel, BatchOperation::Pressure, small, isa),
                batch_ns(rt_bm3, BatchOperation::Volume, small_p, isa));
  }
  std::printf("\nelementary functions, ns per element on one core (4096 cached elements)\n");
  std::printf("%-8s %9s %9s %9s\n", "isa", "cbrt", "exp", "log");
  std::vector<double> args(small.size()), results(small.size());
  for (std::size_t i = 0; i < args.size(); ++i) args[i] = 0.5 + small[i] / kV0;
  for (simd::Isa isa : simd::supported_isas()) {
    auto ns = [&](simd::Elementary f) {
      double best = 1e300;
      for (int r = 0; r < 7; ++r) {
        const auto start = std::chrono::steady_clock::now();
        simd::elementary_batch(f, args, results, isa);
        const auto stop = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::nano>(stop - start).count());
      }
      return best / static_cast<double>(args.size());
    };
    std::printf("%-8s %9.2f %9.2f %9.2f\n", simd::isa_name(isa), ns(simd::Elementary::Cbrt),
                ns(simd::Elementary::Exp), ns(simd::Elementary::Log));
  }
  std::printf("dispatch picks: %s\n", simd::isa_name(simd::best_isa()));
  return 0;
}
