// The parts of the joint fit that the single P-V(-T) fit shares: the shape
// of the parameter and residual vectors, and the residual function.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <span>
#include <vector>

#include "barometra/fit/joint_fit.hpp"

namespace barometra::detail {

// The latent slots, in the order their blocks take when present.
inline constexpr std::size_t kVolumeSlot = 0, kTemperatureSlot = 1, kCalibrantSlot = 2,
                             kSlots = 3;

struct JointShape {
  JointShape(const JointRows& rows, const JointSetup& setup, std::size_t k);

  std::size_t model_parameters, offsets, nuisance, rows;
  std::array<bool, kSlots> present{};
  std::array<std::size_t, kSlots> position{};  // block - 1 of a present slot
  std::size_t latent_count = 0;                // L

  std::size_t globals() const noexcept { return model_parameters + offsets + nuisance; }
  std::size_t nuisance_offset() const noexcept { return model_parameters + offsets; }
  std::size_t points() const noexcept { return rows + nuisance; }
  std::size_t parameter_count() const noexcept { return globals() + points() * latent_count; }
  std::size_t residual_count() const noexcept { return points() * (1 + latent_count); }
  std::size_t slot_offset(std::size_t slot) const noexcept {
    return globals() + position[slot] * points();
  }
};

class JointResidual {
 public:
  JointResidual(const JointRows& rows, const JointSetup& setup, const JointShape& shape,
                const JointPredictions& predict);

  ResidualStatus operator()(std::span<const double> x, std::vector<double>& f);

  // The states and pressures at x: the model's pressure of every row (no
  // offset) and the pressure it is compared with.
  PredictionStatus predict(std::span<const double> x);
  const std::vector<double>& model_pressures() const noexcept { return model_pressure_; }
  const std::vector<double>& references() const noexcept { return reference_; }
  const std::vector<double>& volumes() const noexcept { return volume_; }
  const std::vector<double>& temperatures() const noexcept { return temperature_; }
  const std::vector<std::size_t>& calibrant_rows() const noexcept { return calibrant_rows_; }

  // Where each latent of a present slot starts and is anchored (P values).
  std::span<const double> anchor(std::size_t slot) const noexcept { return slots_[slot].anchor; }
  bool pinned(std::size_t slot, std::size_t point) const noexcept;
  std::size_t pinned_count() const noexcept;

 private:
  struct Slot {
    std::vector<double> anchor;  // the measured value, or the pinned start
    std::vector<double> scale;   // its sigma, or 0 where pinned
  };
  // One prediction over a group of rows, with the inputs of its last call.
  struct Group {
    std::vector<double> volumes, temperatures, pressures, key, last_key;
    bool valid = false;
  };

  void states(std::span<const double> x);
  PredictionStatus predict_group(Group& group, PressurePrediction predict,
                                 std::span<const double> parameters,
                                 std::span<const std::size_t> which,
                                 std::span<const double> volumes,
                                 std::span<const double> temperatures, std::span<double> out);
  void whiten_rows(std::span<const double> x, std::vector<double>& f) const noexcept;

  const JointRows& rows_;
  const JointSetup& setup_;
  const JointShape& shape_;
  const JointPredictions& predict_;
  std::vector<std::size_t> sample_rows_, hugoniot_rows_, calibrant_rows_;
  std::array<Slot, kSlots> slots_;
  std::vector<double> volume_, temperature_, calibrant_volume_, model_pressure_, reference_;
  Group sample_, hugoniot_, calibrant_;
};

// The lengths and values every fit's rows share: N pressures (finite),
// volumes and pressure sigmas (positive and finite); the first fault named.
std::expected<void, FitError> check_common_rows(std::span<const double> pressure,
                                                std::span<const double> volume,
                                                std::span<const double> pressure_sigma);

// The fit without the row checks: the caller has made them.
std::expected<EosFitResult, FitError> solve_joint(const JointRows& rows, const JointSetup& setup,
                                                  std::span<const double> initial,
                                                  std::span<const double> lower,
                                                  std::span<const double> upper,
                                                  const SolverOptions& options,
                                                  const JointPredictions& predict);

}  // namespace barometra::detail
