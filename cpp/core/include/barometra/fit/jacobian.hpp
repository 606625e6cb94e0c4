// The structured (global + latent) layout of a least-squares problem and the
// Jacobian storage shared by the engine, the normal equations and the
// covariances.
//
// Layout with G global parameters, P points and L latent coordinates per point:
//
//   parameters  x = [ g_0 .. g_{G-1} | c=0: k=0..P-1 | c=1: k=0..P-1 | ... ]
//   residuals   f = [ block 0: k=0..P-1 | block 1: k=0..P-1 | ... block L ]
//
// Row r belongs to point r mod P and may depend only on the globals and on
// that point's own L latents. A structured Jacobian therefore stores G + L
// entries per row (compact form), never the m x n matrix, which at P = 1e5
// would take over 100 GB.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace barometra {

struct StructuredLayout {
  std::size_t global_parameter_count = 0;  // G
  std::size_t point_count = 0;             // P
  std::size_t latent_coordinate_count = 0; // L

  // n = G + P * L and m = P * (1 + L), or nothing when a count is 0 or the
  // product overflows.
  std::optional<std::size_t> parameter_count() const noexcept;
  std::optional<std::size_t> residual_count() const noexcept;
  // Index of latent coordinate c of point k in the parameter vector.
  std::size_t latent_index(std::size_t point, std::size_t coordinate) const noexcept {
    return global_parameter_count + coordinate * point_count + point;
  }

  friend bool operator==(const StructuredLayout&, const StructuredLayout&) = default;
};

// An m x n Jacobian, dense (n entries per row) or structured (G + L entries
// per row: the global columns, then the latents of the row's point in
// coordinate order). Entries outside the stored ones are zero. Storage is
// entry-major: stored entry s of all m rows is contiguous, so a
// finite-difference column is one contiguous write and a pass over it
// touches only m doubles.
class Jacobian {
 public:
  Jacobian() = default;
  // Zeroed storage; may throw std::bad_alloc.
  static Jacobian dense(std::size_t rows, std::size_t cols);
  // The layout must be valid (parameter_count() and residual_count() present).
  static Jacobian structured(const StructuredLayout& layout);

  std::size_t rows() const noexcept { return rows_; }
  std::size_t cols() const noexcept { return cols_; }
  const std::optional<StructuredLayout>& layout() const noexcept { return layout_; }
  // Stored entries per row: n when dense, G + L when structured.
  std::size_t row_width() const noexcept { return width_; }
  // The parameter column of stored entry s of row r.
  std::size_t column_of(std::size_t row, std::size_t entry) const noexcept {
    if (!layout_ || entry < layout_->global_parameter_count) return entry;
    return layout_->latent_index(row % layout_->point_count,
                                 entry - layout_->global_parameter_count);
  }
  double& at(std::size_t row, std::size_t entry) noexcept { return values_[entry * rows_ + row]; }
  double at(std::size_t row, std::size_t entry) const noexcept {
    return values_[entry * rows_ + row];
  }
  // Stored entry s of every row (m values); for a dense Jacobian, column s.
  std::span<double> entries(std::size_t entry) noexcept {
    return {values_.data() + entry * rows_, rows_};
  }
  std::span<const double> entries(std::size_t entry) const noexcept {
    return {values_.data() + entry * rows_, rows_};
  }

  // Writes the full m x n matrix, row-major, into `out` (m * n doubles,
  // zeroed by the caller).
  void write_dense(std::span<double> out) const noexcept;
  // The full m x n matrix, row-major.
  std::vector<double> to_dense() const;

 private:
  std::size_t rows_ = 0, cols_ = 0, width_ = 0;
  std::optional<StructuredLayout> layout_;
  std::vector<double> values_;
};

}  // namespace barometra
