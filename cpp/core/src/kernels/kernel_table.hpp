// The entry points of the vector kernels of one instruction set. Each table
// is plain data defined in a translation unit compiled for its instruction
// set; batch.cpp reads a table only after the processor reported support.
#pragma once

#include <array>
#include <cstddef>

#include "barometra/isothermal/rt_model.hpp"

namespace barometra::detail {

// Each kernel evaluates in order and returns the index of the first element
// that fails (or n), with every output before it written. `model` points at
// the model type of the table slot.
using EvaluateKernel = std::size_t (*)(const void* model, const double* in, double* out,
                                       std::size_t n) noexcept;
// p0 is the model's pressure at its V0, which every inversion starts from.
using VolumeKernel = std::size_t (*)(const void* model, double v0, double p0, const double* in,
                                     double* out, std::size_t n) noexcept;
using MathKernel = void (*)(const double* in, double* out, std::size_t n) noexcept;

struct KernelTable {
  // Indexed by the RtModel tag; null where a model has no vector kernel.
  std::array<EvaluateKernel, RtModel::kModelCount> pressure;
  std::array<EvaluateKernel, RtModel::kModelCount> bulk_modulus;
  std::array<VolumeKernel, RtModel::kModelCount> volume;
  MathKernel cbrt, exp, log;
};

extern const KernelTable kSse2Kernels;
extern const KernelTable kAvx2Kernels;
extern const KernelTable kAvx512Kernels;

}  // namespace barometra::detail
