// Batch evaluation of the isothermal models: pressure, bulk modulus, its
// pressure derivatives K' and K'', and volume over a contiguous span of
// inputs, element by element with exactly the checks, values and errors of
// the scalar operations.
//
// Models whose formulas need no domain check run vector kernels (BM2-BM4,
// the natural-strain models, Vinet, Morse3, Rydberg-Stacey, Holzapfel) for
// pressure, bulk modulus and volume; every other case runs the scalar
// operation in a loop. The kernels compute with the
// same templates as the scalar operations, so both give the same bits.
// Volume inversion runs the root solver of root.hpp over vectors of targets,
// the same algorithm whose one-lane instance is the scalar inversion.
//
// A batch evaluates in order and stops at the first failing element: it
// returns that element's index and error, with every output before it
// written and the rest unspecified. The output may be the input span itself
// (in place) or must not overlap it.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "barometra/error.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "barometra/simd/dispatch.hpp"

namespace barometra {

struct BatchFailure {
  std::size_t index;
  EosError error;
  friend constexpr bool operator==(const BatchFailure&, const BatchFailure&) = default;
};
// Nothing when every element succeeded.
using BatchResult = std::optional<BatchFailure>;

enum class BatchOperation : std::uint8_t {
  Pressure,
  BulkModulus,
  Volume,
  BulkModulusPressureDerivative,
  BulkModulusSecondPressureDerivative,
};

// The operation over in, written to out (out.size() == in.size()), on the
// best instruction set of this processor or on the one given, which must be
// among simd::supported_isas().
BatchResult evaluate_batch(const RtModel& model, BatchOperation operation,
                           std::span<const double> in, std::span<double> out) noexcept;
BatchResult evaluate_batch(const RtModel& model, BatchOperation operation,
                           std::span<const double> in, std::span<double> out,
                           simd::Isa isa) noexcept;

inline BatchResult pressure_batch(const RtModel& model, std::span<const double> volumes,
                                  std::span<double> pressures) noexcept {
  return evaluate_batch(model, BatchOperation::Pressure, volumes, pressures);
}
inline BatchResult bulk_modulus_batch(const RtModel& model, std::span<const double> volumes,
                                      std::span<double> bulk_moduli) noexcept {
  return evaluate_batch(model, BatchOperation::BulkModulus, volumes, bulk_moduli);
}
inline BatchResult volume_batch(const RtModel& model, std::span<const double> pressures,
                                std::span<double> volumes) noexcept {
  return evaluate_batch(model, BatchOperation::Volume, pressures, volumes);
}

// Whether the model has vector kernels (otherwise batches run the scalar loop).
bool has_vector_kernels(const RtModel& model) noexcept;

namespace simd {
// The elementary functions over a span on one instruction set, as the kernels
// compute them; for tests and benchmarks.
enum class Elementary : std::uint8_t { Cbrt, Exp, Log };
void elementary_batch(Elementary function, std::span<const double> in, std::span<double> out,
                      Isa isa) noexcept;
}  // namespace simd

}  // namespace barometra
