#include "barometra/error.hpp"

#include <gtest/gtest.h>

#include <type_traits>

namespace barometra {
namespace {

constexpr const char* kPositive = "must be positive and finite";

TEST(EosError, KindOrderCodeTextAndCategory) {
  using enum ErrorCategory;
  const struct {
    EosError error;
    const char* code;
    const char* text;
    ErrorCategory category;
  } kinds[] = {  // in the order of the kinds, which is part of the contract
      {EosError::invalid_parameter("V0", kPositive), "eos.invalid_parameter",
       "invalid parameter V0: must be positive and finite", Validation},
      {EosError::invalid_state("volume", kPositive), "eos.invalid_state",
       "invalid state variable volume: must be positive and finite", Validation},
      {EosError::outside_invertible_range(), "eos.outside_invertible_range",
       "state is outside the model's invertible range", Validation},
      // Bracketing is a validation failure, not a numerical one.
      {EosError::bracketing_failed(), "eos.bracketing_failed", "failed to bracket a root",
       Validation},
      {EosError::convergence_failed(), "eos.convergence_failed",
       "numerical solver failed to converge", Numerical},
      {EosError::non_finite_result(), "eos.non_finite_result", "model returned a non-finite result",
       Numerical},
  };
  for (int i = 0; i < 6; ++i) {
    const EosError& e = kinds[i].error;
    EXPECT_EQ(static_cast<int>(e.kind()), i);
    EXPECT_EQ(e.code(), kinds[i].code);
    EXPECT_EQ(e.text(), kinds[i].text);
    EXPECT_EQ(e.category(), kinds[i].category) << i;
    EXPECT_EQ(e.has_field(), i <= 1) << i;
  }
}

TEST(EosError, OwnsNothingAndComparesKindFieldAndMessage) {
  static_assert(std::is_trivially_copyable_v<EosError>);
  const EosError e = EosError::invalid_state("pressure", "must be finite");
  EXPECT_NE(e, EosError::invalid_parameter("pressure", "must be finite"));
  EXPECT_NE(e, EosError::invalid_state("volume", "must be finite"));
  EXPECT_NE(e, EosError::invalid_state("pressure", kPositive));
}

TEST(FitError, WrapsAnEosErrorWithoutAMessage) {
  const FitError wrapped = EosError::invalid_parameter("K0", kPositive);
  EXPECT_EQ(wrapped.kind(), FitErrorKind::Eos);
  EXPECT_EQ(*wrapped.eos_error(), EosError::invalid_parameter("K0", kPositive));
  EXPECT_EQ(wrapped.message(), "");
  EXPECT_EQ(FitError::invalid_input("K0").eos_error(), nullptr);
  EXPECT_NE(FitError::invalid_input("K0"), FitError::evaluation_failed("K0"));
}

}  // namespace
}  // namespace barometra
