#include "barometra/isothermal/batch.hpp"

#include <cassert>

#include "barometra/simd/math.hpp"
#include "kernels/kernel_table.hpp"

namespace barometra {

namespace {

const detail::KernelTable* kernels_for(simd::Isa isa) noexcept {
#if defined(BAROMETRA_SIMD_KERNELS)
  switch (isa) {
    case simd::Isa::Sse2: return &detail::kSse2Kernels;
    case simd::Isa::Avx2: return &detail::kAvx2Kernels;
    case simd::Isa::Avx512: return &detail::kAvx512Kernels;
    case simd::Isa::Scalar: break;
  }
#else
  (void)isa;
#endif
  return nullptr;
}

template <class Model>
Result scalar_operation(const Model& m, BatchOperation operation, double x) noexcept {
  switch (operation) {
    case BatchOperation::Pressure: return m.pressure(x);
    case BatchOperation::BulkModulus: return m.bulk_modulus(x);
    case BatchOperation::BulkModulusPressureDerivative:
      return m.bulk_modulus_pressure_derivative(x);
    case BatchOperation::BulkModulusSecondPressureDerivative:
      return m.bulk_modulus_second_pressure_derivative(x);
    case BatchOperation::Volume: break;
  }
  return m.volume(x);
}

// The scalar operation element by element: the path of the models without
// kernels, and the reference for those with them.
template <class Operation>
BatchResult loop(Operation operation, const double* in, double* out, std::size_t begin,
                 std::size_t n) noexcept {
  for (std::size_t i = begin; i < n; ++i) {
    const Result r = operation(in[i]);
    if (!r) return BatchFailure{i, r.error()};
    out[i] = *r;
  }
  return std::nullopt;
}

// One loop per operation, the switch outside it, so that the model's formula
// inlines into a loop that does nothing else.
template <class Model>
BatchResult scalar_loop(const Model& m, BatchOperation operation, const double* in, double* out,
                        std::size_t begin, std::size_t n) noexcept {
  switch (operation) {
    case BatchOperation::Pressure:
      return loop([&m](double x) noexcept { return m.pressure(x); }, in, out, begin, n);
    case BatchOperation::BulkModulus:
      return loop([&m](double x) noexcept { return m.bulk_modulus(x); }, in, out, begin, n);
    default:
      return loop([&](double x) noexcept { return scalar_operation(m, operation, x); }, in, out,
                  begin, n);
  }
}

// Runs a kernel (returning the first index it could not evaluate) and asks
// the scalar operation for that element's error. The two compute the same
// bits, so the scalar operation fails there too; should it ever succeed, its
// value is kept and the kernel resumes after it.
template <class Model, class Kernel>
BatchResult with_kernel(const Model& m, BatchOperation operation, const double* in, double* out,
                        std::size_t n, Kernel kernel) noexcept {
  for (std::size_t i = 0; i < n;) {
    i += kernel(in + i, out + i, n - i);
    if (i == n) break;
    const Result r = scalar_operation(m, operation, in[i]);
    assert(!r && "the kernels and the scalar operations must agree");
    if (!r) return BatchFailure{i, r.error()};
    out[i++] = *r;
  }
  return std::nullopt;
}

// K' and K'' have no kernels: their scalar loop is as fast as the arrays need.
detail::EvaluateKernel evaluate_kernel(const detail::KernelTable& table, BatchOperation operation,
                                       std::size_t tag) noexcept {
  switch (operation) {
    case BatchOperation::Pressure: return table.pressure[tag];
    case BatchOperation::BulkModulus: return table.bulk_modulus[tag];
    default: return nullptr;
  }
}

// `tag` is m's RtModel tag, which indexes the kernel table.
template <class Model>
BatchResult evaluate_model(const Model& m, std::size_t tag, BatchOperation operation,
                           const double* in, double* out, std::size_t n, simd::Isa isa) noexcept {
  const detail::KernelTable* table = kernels_for(isa);
  if (table == nullptr) return scalar_loop(m, operation, in, out, 0, n);
  if (operation == BatchOperation::Volume) {
    const detail::VolumeKernel kernel = table->volume[tag];
    // Every inversion starts from P(V0); should that fail, so does every
    // element with a finite target, which the scalar loop reports.
    const Result p0 = m.pressure(m.v0());
    if (kernel == nullptr || !p0) return scalar_loop(m, operation, in, out, 0, n);
    return with_kernel(m, operation, in, out, n,
                       [&](const double* a, double* b, std::size_t count) noexcept {
                         return kernel(&m, m.v0(), *p0, a, b, count);
                       });
  }
  const detail::EvaluateKernel kernel = evaluate_kernel(*table, operation, tag);
  if (kernel == nullptr) return scalar_loop(m, operation, in, out, 0, n);
  return with_kernel(m, operation, in, out, n,
                     [&](const double* a, double* b, std::size_t count) noexcept {
                       return kernel(&m, a, b, count);
                     });
}

}  // namespace

BatchResult evaluate_batch(const RtModel& model, BatchOperation operation,
                           std::span<const double> in, std::span<double> out,
                           simd::Isa isa) noexcept {
  assert(in.size() == out.size());
  return std::visit(
      [&](const auto& m) {
        return evaluate_model(m, model.tag(), operation, in.data(), out.data(), in.size(), isa);
      },
      model.variant());
}

BatchResult evaluate_batch(const RtModel& model, BatchOperation operation,
                           std::span<const double> in, std::span<double> out) noexcept {
  return evaluate_batch(model, operation, in, out, simd::best_isa());
}

bool has_vector_kernels(const RtModel& model) noexcept {
  const detail::KernelTable* table = kernels_for(simd::best_isa());
  return table != nullptr && table->pressure[model.tag()] != nullptr;
}

namespace simd {

void elementary_batch(Elementary function, std::span<const double> in, std::span<double> out,
                      Isa isa) noexcept {
  assert(in.size() == out.size());
  const barometra::detail::KernelTable* table = kernels_for(isa);
  if (table == nullptr) {
    for (std::size_t i = 0; i < in.size(); ++i) {
      switch (function) {
        case Elementary::Cbrt: out[i] = simd::cbrt(in[i]); break;
        case Elementary::Exp: out[i] = simd::exp(in[i]); break;
        case Elementary::Log: out[i] = simd::log(in[i]); break;
      }
    }
    return;
  }
  const barometra::detail::MathKernel kernel = function == Elementary::Cbrt  ? table->cbrt
                                    : function == Elementary::Exp ? table->exp
                                                                  : table->log;
  kernel(in.data(), out.data(), in.size());
}

}  // namespace simd

}  // namespace barometra
