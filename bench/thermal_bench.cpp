// ns per call of the Debye function over x in [0.01, 50], next to the adaptive
// quadrature it replaced (written out here, as the library computed it), and
// of the Debye Mie-Grueneisen thermal and total pressure, each next to a
// hand-written loop of the same algorithm (plain doubles, no checks) as the
// floor; heap allocations inside the timed loops are counted (there should
// be none). Then the thermal pressure of every other thermal model at one
// state, and the multi-oscillator temperature inversion with its
// reference-EOS evaluations counted, against the default inversion. Last, the
// principal Hugoniot of the models with a thermal energy: the thermal
// pressures (isochore evaluations) it takes per volume, and its time per
// volume next to one thermal pressure.
//   cmake -S . -B build-bench -G Ninja -DBAROMETRA_BUILD_BENCH=ON
//   cmake --build build-bench --target thermal_bench && ./build-bench/bench/thermal_bench
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/potential.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "bench_support.hpp"
#include "barometra/thermal/asymptotic_power_law.hpp"
#include "barometra/thermal/debye_anharmonic.hpp"
#include "barometra/thermal/debye_function.hpp"
#include "barometra/thermal/dewaele2006.hpp"
#include "barometra/thermal/dorogokupets_oganov.hpp"
#include "barometra/thermal/holland_powell.hpp"
#include "barometra/thermal/mie_gruneisen.hpp"
#include "barometra/thermal/multi_oscillator.hpp"
#include "barometra/thermal/principal_hugoniot.hpp"
#include "barometra/thermal/thermal_pressure.hpp"
#include "barometra/thermal/thermal_reference_state.hpp"
#include "barometra/thermal/variable_q.hpp"
#include "barometra/thermal/vibrational.hpp"

namespace {

using namespace barometra;
using bench::Timing;
using bench::time_loop;
using bench::value_or_nan;

constexpr double kV0 = 11.25, kK0 = 160.0, kK0Prime = 4.15;
constexpr double kTr = 300.0, kTheta0 = 773.0, kGamma0 = 1.5, kQ = 1.5, kN = 2.0;

void report(const char* name, Timing t, double floor) {
  std::printf("%-40s %10.1f ns/call  %5.2fx floor  allocations: %ld\n", name, t.ns_per_call,
              t.ns_per_call / floor, t.allocations);
}

// D3 by the 32-panel adaptive Simpson quadrature of its integrand (tolerance
// 1e-10 per panel, depth 24), with the series below 0.001 and the asymptote
// above 150, as debye_function_3 computed it before its expansion.
namespace quadrature_d3 {

inline double integrand(double t) {
  if (std::fabs(t) < 2.220446049250313e-16) return 0.0;
  return t * t * t / std::expm1(t);
}

double simpson(int depth, double a, double b, double fa, double fm, double fb, double whole,
               double eps) {
  const double m = a + (b - a) * 0.5;
  const double lm = a + (m - a) * 0.5, rm = m + (b - m) * 0.5;
  const double flm = integrand(lm), frm = integrand(rm);
  const double left = (m - a) * (fa + 4.0 * flm + fm) / 6.0;
  const double right = (b - m) * (fm + 4.0 * frm + fb) / 6.0;
  const double s2 = left + right, diff = s2 - whole;
  if (std::fabs(diff) <= 15.0 * eps || depth == 0) return s2 + diff / 15.0;
  return simpson(depth - 1, a, m, fa, flm, fm, left, eps / 2.0) +
         simpson(depth - 1, m, b, fm, frm, fb, right, eps / 2.0);
}

double debye3(double x) {
  const double x2 = x * x;
  if (x < 0.001) return (x2 / 20.0) + (1.0 + (-3.0 * x) * 0.125) + (x2 * x2) / (-1680.0);
  if (x > 150.0) return 97.40909103400242 / (x * x2 * 5.0);
  const double h = x * 0.03125;
  double sum = 0.0;
  for (int i = 0; i < 32; ++i) {
    const double p = h * i, q = i == 31 ? x : p + h, m = p + (q - p) * 0.5;
    const double fp = integrand(p), fm = integrand(m), fq = integrand(q);
    const double whole = (q - p) * (fp + 4.0 * fm + fq) / 6.0;
    const double eps = (std::fabs(whole) * 1e-10 + 1e-10) * 0.03125;
    sum += simpson(24, p, q, fp, fm, fq, whole, eps);
  }
  return 3.0 * sum / (x * x2);
}

}  // namespace quadrature_d3

// ---- The floor: the same algorithms by hand, on plain doubles ----

namespace by_hand {

// debye_function_3 without its argument check.
double debye3(double x) {
  if (x < detail::debye::kPolynomialLimit) return detail::debye::piece(x);
  return (detail::debye::kPiFourthOverFive - 3.0 * detail::debye::exponential_tail(x)) /
         (x * x * x);
}

double bm3_pressure(double v) {
  const double x = std::cbrt(kV0 / v);
  const double x2 = x * x;
  const double f = (x2 - 1.0) / 2.0;
  return 3.0 * kK0 * f * x * x2 * x2 * (1.0 + 1.5 * (kK0Prime - 4.0) * f);
}

double thermal_pressure(double v, double t) {
  const double lx = std::log(v / kV0);
  const double theta = kTheta0 * std::exp(-kGamma0 * std::expm1(kQ * lx) / kQ);
  const double cvmax = 3.0 * kN * kGasConstant;
  const double e = cvmax * t * debye3(theta / t);
  const double e_ref = cvmax * kTr * debye3(theta / kTr);
  const double gamma = kGamma0 * std::exp(kQ * lx);
  return (e - e_ref) * gamma / v / 10000.0;
}

}  // namespace by_hand

// D3 at each x of a grid over [0.01, 50] (the inputs of one timed pass all
// alike, read from memory so that the call cannot be hoisted), then over the
// whole grid mixed, as a volume or temperature scan meets them.
void debye_function() {
  std::printf("Debye function D3(x), x in [0.01, 50]\n");
  std::vector<double> grid;
  for (double x = 0.01; x <= 50.0; x *= 1.25) grid.push_back(x);
  for (double x : {0.5, 1.0, 5.0, 7.99, 8.0, 50.0}) grid.push_back(x);
  std::sort(grid.begin(), grid.end());
  double worst = 0.0, worst_x = 0.0;
  for (double x : grid) {
    std::vector<double> xs(4096, x), out(xs.size());
    const Timing t = time_loop(xs, out, [](double v) { return value_or_nan(debye_function_3(v)); });
    if (t.ns_per_call > worst) worst = t.ns_per_call, worst_x = x;
    if (x == 0.5 || x == 5.0 || x == 7.99 || x == 8.0 || x == 50.0) {
      std::vector<double> few(64, x), few_out(few.size());
      const Timing former = time_loop(few, few_out, quadrature_d3::debye3, 3);
      std::printf("  x = %-5g debye_function_3 %6.1f ns/call  former quadrature %8.1f ns/call  "
                  "allocations: %ld\n", x, t.ns_per_call, former.ns_per_call, t.allocations);
    }
  }
  std::vector<double> mixed(4096), out(mixed.size());
  for (std::size_t i = 0; i < mixed.size(); ++i) {
    mixed[i] = 0.01 * std::pow(5000.0, static_cast<double>((i * 2654435761u) % 4096) / 4095.0);
  }
  const Timing t = time_loop(mixed, out, [](double v) { return value_or_nan(debye_function_3(v)); });
  std::printf("  slowest x: %g at %.1f ns/call; mixed over the grid (log-uniform): %.1f ns/call\n",
              worst_x, worst, t.ns_per_call);
}

// ns per thermal pressure of the explicit, Holland-Powell and reference-state
// models over an RtModel reference EOS, at one state (V = 0.9 V0, T = 1500 K).
// The temperature is read from memory on every call: several of these
// pressures do not depend on V, so a fixed T would let the compiler hoist them.
template <class Model>
void report_per_call(const char* name, const Model& model, const std::vector<double>& temperatures,
                     std::vector<double>& out) {
  const double v = 0.9 * kV0;
  const Timing timing = time_loop(
      temperatures, out, [&](double t) { return value_or_nan(model.thermal_pressure(v, t)); });
  std::printf("  %-48s %8.1f ns/call  allocations: %ld  Pth = %.6g\n", name, timing.ns_per_call,
              timing.allocations, out[0]);
}

void thermal_pressure_models() {
  const RtModel bm3 = *BM3::create(kV0, kK0, kK0Prime);
  const ModifiedTait tait = *ModifiedTait::create(kV0, kK0, kK0Prime, -kK0Prime / kK0);
  std::vector<double> temperatures(4096, 1500.0), out(temperatures.size());
  std::printf("Thermal pressure, RtModel reference, V = 0.9 V0, T = 1500 K\n");
  report_per_call("LinearThermalPressure",
                  *LinearThermalPressure<RtModel>::create(bm3, kTr, 0.006), temperatures, out);
  report_per_call("LogVolumeThermalPressure",
                  *LogVolumeThermalPressure<RtModel>::create(bm3, kTr, 0.005, 0.004),
                  temperatures, out);
  report_per_call("DebyeQuadraticThermalPressure",
                  *DebyeQuadraticThermalPressure<RtModel>::create(bm3, kTr, kTheta0, kGamma0, kQ,
                                                                  kN, 2e-8, 1.5),
                  temperatures, out);
  const auto taylor = *SecondOrderTaylorThermalPressure<RtModel>::create(
      bm3, kTr, 0.05, 0.1, 2.0, 0.005, -3.0, 1e-6, 0.02);
  report_per_call("SecondOrderTaylorThermalPressure", taylor, temperatures, out);
  const Timing increment = time_loop(temperatures, out, [&](double t) {
    return value_or_nan(taylor.thermal_pressure_increment(0.9 * kV0, t));
  });
  std::printf("  %-48s %8.1f ns/call  allocations: %ld\n", "  its thermal_pressure_increment",
              increment.ns_per_call, increment.allocations);
  report_per_call("HollandPowellThermalPressure",
                  *HollandPowellThermalPressure<RtModel>::create(bm3, kTr, 510.0, 3e-5, kN),
                  temperatures, out);
  report_per_call("ThermalModifiedTait", *ThermalModifiedTait::create(tait, kTr, 510.0, 3e-5, kN),
                  temperatures, out);
  using State = ThermalReferenceState<RtModel>;
  const auto linear_k0 = *State::create(bm3, ThermalExpansionLaw::constant,
                                        ReferenceVolumeLaw::integrated_expansivity, kTr, 3e-5,
                                        -0.02, 0.0);
  report_per_call("ThermalReferenceState, linear K0(T)", linear_k0, temperatures, out);
  report_per_call("ThermalReferenceState, cubic 1/K0(T), K0' terms",
                  *State::create(bm3, ThermalExpansionLaw::linear_temperature,
                                 ReferenceVolumeLaw::integrated_expansivity,
                                 BulkModulusLaw::reciprocal_cubic(1e-7, 2e-10, 5e-14), kTr, 2e-5,
                                 0.0, 1e-8, 2e-4, 1e-4),
                  temperatures, out);
  report_per_call("ThermalReferenceState over ModifiedTait",
                  *State::create(RtModel(tait), ThermalExpansionLaw::constant,
                                 ReferenceVolumeLaw::integrated_expansivity, kTr, 3e-5, -0.02, 0.0),
                  temperatures, out);
  // Its own bulk modulus: one rebuild and one closed-form K, no differences.
  const Timing kt = time_loop(temperatures, out, [&](double t) {
    return value_or_nan(linear_k0.bulk_modulus(0.9 * kV0, t, 1e-6));
  });
  std::printf("  %-48s %8.1f ns/call  allocations: %ld\n", "  its bulk_modulus (linear K0(T))",
              kt.ns_per_call, kt.allocations);
}

// An RtModel reference that counts its evaluations; K' costs two P and two K.
struct CountingReference {
  RtModel model;
  long* calls;
  double v0() const noexcept { return model.v0(); }
  Result pressure(double v) const noexcept { return ++*calls, model.pressure(v); }
  Result bulk_modulus(double v) const noexcept { return ++*calls, model.bulk_modulus(v); }
  Result bulk_modulus_derivative(double v, double step) const noexcept {
    return *calls += 4, model.bulk_modulus_derivative(v, step);
  }
};

// The models with many parameters, at the same state, and the multi-oscillator
// temperature inversion, whose own version computes the volume record (one
// quadrature) once while the default recomputes it at every trial temperature.
void multi_parameter_models() {
  const RtModel bm3 = *BM3::create(kV0, kK0, kK0Prime);
  std::vector<double> temperatures(4096, 1500.0), out(temperatures.size());
  report_per_call("Dewaele2006",
                  *Dewaele2006<RtModel>::create(bm3, kTr, 800.0, kGamma0, 0.5, 2.0, 1e-5, 3.0,
                                                3e-5, 1.5, kN),
                  temperatures, out);
  report_per_call("DorogokupetsOganov2007",
                  *DorogokupetsOganov2007<RtModel>::create(bm3, kTr, 760.0, 1.5, 3.0, 500.0, 5.0,
                                                           1.5, 300.0, 1.0, 900.0, 0.5, kGamma0,
                                                           0.5, 2.5, 15.0, 4.0, 20.0, 1.5, 3e4,
                                                           5.0, kN),
                  temperatures, out);
  report_per_call("DebyeAnharmonicHelmholtz",
                  *DebyeAnharmonicHelmholtz<RtModel>::create(bm3, kTr, 760.0, kGamma0, 1.2, 5e-3,
                                                             0.1, 2.0),
                  temperatures, out);
  long calls = 0;
  const auto multi = *MultiOscillatorGruneisen<CountingReference>::create(
      CountingReference{bm3, &calls}, kTr, 450.0, 3.0, 800.0, 3.0, -0.1, 1.0, 10.0, 3.0, 1.5,
      30.0, 0.2, 600.0, 2.0, 1.0, 1000.0, 4.0, 0.5, kN);
  temperatures.resize(256);
  report_per_call("MultiOscillatorGruneisen", multi, temperatures, out);

  const double v = 0.9 * kV0, p = *multi.pressure(v, 1500.0);
  using Base = ThermalModelBase<MultiOscillatorGruneisen<CountingReference>>;
  calls = 0;
  (void)multi.volume_terms(v);
  const long per_record = calls;
  calls = 0;
  const double own = *multi.temperature(p, v);
  const long own_calls = calls;
  calls = 0;
  const double by_default = *multi.Base::temperature(p, v);
  std::printf("    reference-EOS evaluations of temperature(P(V, 1500 K), V): per volume "
              "record %ld,\n    own inversion %ld, default inversion %ld (T = %.15g, %.15g)\n",
              per_record, own_calls, calls, own, by_default);
  std::vector<double> pressures(16, p), found(pressures.size());
  for (const auto& [name, body] :
       {std::pair<const char*, std::function<double(double)>>{
            "  its temperature, own inversion",
            [&](double x) { return value_or_nan(multi.temperature(x, v)); }},
        {"  its temperature, default inversion",
         [&](double x) { return value_or_nan(multi.Base::temperature(x, v)); }}}) {
    const Timing timing = time_loop(pressures, found, body, 3);
    std::printf("  %-48s %8.1f ns/call  allocations: %ld\n", name, timing.ns_per_call,
                timing.allocations);
  }
}

// A model whose Hugoniot isochore counts its evaluations, each one thermal
// pressure (and energy) at a trial temperature.
template <class Model>
struct CountingIsochores {
  using Inner = typename decltype(std::declval<Model>().hugoniot_isochore(1.0))::value_type;
  struct Isochore {
    static constexpr bool kExactSlope = Inner::kExactSlope;
    Inner inner;
    long* calls;
    std::expected<IsochorePoint, EosError> at(double t) const noexcept {
      return ++*calls, inner.at(t);
    }
  };
  Model model;
  long* calls;
  const auto& reference_eos() const noexcept { return model.reference_eos(); }
  Result volume(double p, double t) const noexcept { return model.volume(p, t); }
  std::expected<Isochore, EosError> hugoniot_isochore(double v) const noexcept {
    auto inner = model.hugoniot_isochore(v);
    if (!inner) return std::unexpected(inner.error());
    return Isochore{*inner, calls};
  }
};

// V/V0 from 0.99 to 0.60 at T0 = Tr: isochore evaluations per volume (the
// origin solved once), ns per hugoniot_state, and per thermal pressure.
template <class Model>
void report_hugoniot(const char* name, const Model& model) {
  const double v0 = model.reference_eos().v0();
  std::vector<double> volumes(40), out(volumes.size());
  for (std::size_t i = 0; i < volumes.size(); ++i) volumes[i] = v0 * (0.99 - 0.01 * i);
  long calls = 0;
  const CountingIsochores<Model> counting{model, &calls};
  const HugoniotOrigin origin = *hugoniot_origin(counting, model.tr());
  calls = 0;
  for (double v : volumes) (void)hugoniot_state(counting, origin, v);
  const Timing state = time_loop(volumes, out, [&](double v) {
    auto h = hugoniot_state(model, origin, v);
    return h ? h->pressure : NAN;
  });
  const Timing pth = time_loop(
      volumes, out, [&](double v) { return value_or_nan(model.thermal_pressure(v, 2000.0)); });
  std::printf("  %-28s %5.2f thermal pressures/volume  %8.1f ns/volume  (%6.1f ns/Pth)\n", name,
              static_cast<double>(calls) / volumes.size(), state.ns_per_call, pth.ns_per_call);
}

void hugoniots() {
  const RtModel bm3 = *BM3::create(kV0, kK0, kK0Prime);
  using R = RtModel;
  std::printf("Principal Hugoniot from Tr, V/V0 = 0.99 .. 0.60\n");
  report_hugoniot("MieGruneisenDebye",
                  *MieGruneisenDebye<R>::create(bm3, kTr, kTheta0, kGamma0, kQ, kN));
  report_hugoniot("MieGruneisenEinstein",
                  *MieGruneisenEinstein<R>::create(bm3, kTr, 560.0, kGamma0, kQ, kN));
  report_hugoniot("VariableQMieGruneisenDebye",
                  *VariableQMieGruneisenDebye<R>::create(bm3, kTr, kTheta0, kGamma0, 1.6, 2.0, kN));
  report_hugoniot("AsymptoticPowerLaw...",
                  *AsymptoticPowerLawMieGruneisenDebye<R>::create(bm3, kTr, 761.0, 1.44, 0.14,
                                                                  5.4, kN));
  // Au of Dorogokupets & Oganov (2007), in J/bar.
  const RtModel au = *Vinet::create(1.0215, 166.7, 6.0);
  report_hugoniot("DorogokupetsOganov2007 (Au)",
                  *DorogokupetsOganov2007<R>::create(au, 298.15, 95.7, 8.29, 0.681, 106.4, 3.239,
                                                     0.417, 170.6, 1.063, 105.2, 0.839, 2.965,
                                                     1.142, 3.03, 25.33, 3.79, 18.92, 0.66,
                                                     11690.0, 1.067, 1.0));
  report_hugoniot("DebyeAnharmonicHelmholtz",
                  *DebyeAnharmonicHelmholtz<R>::create(bm3, kTr, 760.0, kGamma0, 1.2, 5e-4, 0.1,
                                                       2.0));
}

}  // namespace

int main() {
  debye_function();

  const auto bm3 = *BM3::create(kV0, kK0, kK0Prime);
  const auto mg = *MieGruneisen<BM3, true>::create(bm3, kTr, kTheta0, kGamma0, kQ, kN);
  const auto mg_rt =
      *MieGruneisen<RtModel, true>::create(RtModel(bm3), kTr, kTheta0, kGamma0, kQ, kN);

  std::vector<double> volumes(2048), out(volumes.size());
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    volumes[i] = kV0 * (0.8 + 0.25 * static_cast<double>(i) / volumes.size());
  }
  double worst = 0.0;
  for (double t : {300.0, 2000.0}) {
    std::printf("Debye MieGruneisen, BM3 reference, T = %g K\n", t);
    const Timing floor_pth =
        time_loop(volumes, out, [t](double v) { return by_hand::thermal_pressure(v, t); });
    report("  hand-written thermal pressure (floor)", floor_pth, floor_pth.ns_per_call);
    report("  thermal_pressure",
           time_loop(volumes, out,
                     [&](double v) { return value_or_nan(mg.thermal_pressure(v, t)); }),
           floor_pth.ns_per_call);
    report("  thermal_pressure, RtModel reference",
           time_loop(volumes, out,
                     [&](double v) { return value_or_nan(mg_rt.thermal_pressure(v, t)); }),
           floor_pth.ns_per_call);
    const Timing floor_p = time_loop(volumes, out, [t](double v) {
      return by_hand::bm3_pressure(v) + by_hand::thermal_pressure(v, t);
    });
    report("  hand-written total pressure (floor)", floor_p, floor_p.ns_per_call);
    report("  pressure",
           time_loop(volumes, out, [&](double v) { return value_or_nan(mg.pressure(v, t)); }),
           floor_p.ns_per_call);
    report("  pressure, RtModel reference",
           time_loop(volumes, out, [&](double v) { return value_or_nan(mg_rt.pressure(v, t)); }),
           floor_p.ns_per_call);
    for (double v : volumes) {
      const double by_hand_p = by_hand::bm3_pressure(v) + by_hand::thermal_pressure(v, t);
      worst = std::max(worst, std::fabs(*mg_rt.pressure(v, t) - by_hand_p) / std::fabs(by_hand_p));
    }
  }
  std::printf("largest relative difference from the floor: %.2e\n", worst);
  thermal_pressure_models();
  multi_parameter_models();
  hugoniots();
  return 0;
}
