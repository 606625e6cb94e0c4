#include "barometra/error.hpp"

#include <gtest/gtest.h>

#include <type_traits>

namespace barometra {
namespace {

struct KindCase {
  EosError error;
  const char* code;
  const char* text;
  ErrorCategory category;
};

class EosErrorKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(EosErrorKinds, CodeTextAndCategory) {
  const KindCase& c = GetParam();
  EXPECT_EQ(c.error.code(), c.code);
  EXPECT_EQ(c.error.text(), c.text);
  EXPECT_EQ(c.error.category(), c.category);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, EosErrorKinds,
    ::testing::Values(
        KindCase{EosError::invalid_parameter("V0", "must be positive and finite"),
                 "eos.invalid_parameter", "invalid parameter V0: must be positive and finite",
                 ErrorCategory::Validation},
        KindCase{EosError::invalid_state("volume", "must be positive and finite"),
                 "eos.invalid_state", "invalid state variable volume: must be positive and finite",
                 ErrorCategory::Validation},
        KindCase{EosError::outside_invertible_range(), "eos.outside_invertible_range",
                 "state is outside the model's invertible range", ErrorCategory::Validation},
        // Bracketing is a validation failure, not a numerical one.
        KindCase{EosError::bracketing_failed(), "eos.bracketing_failed",
                 "failed to bracket a root", ErrorCategory::Validation},
        KindCase{EosError::convergence_failed(), "eos.convergence_failed",
                 "numerical solver failed to converge", ErrorCategory::Numerical},
        KindCase{EosError::non_finite_result(), "eos.non_finite_result",
                 "model returned a non-finite result", ErrorCategory::Numerical}));

TEST(EosError, KindOrderIsStable) {
  EXPECT_EQ(static_cast<int>(EosErrorKind::InvalidParameter), 0);
  EXPECT_EQ(static_cast<int>(EosErrorKind::BracketingFailed), 3);
  EXPECT_EQ(static_cast<int>(EosErrorKind::NonFiniteResult), 5);
}

TEST(EosError, IsTriviallyCopyableAndOwnsNothing) {
  static_assert(std::is_trivially_copyable_v<EosError>);
  const EosError e = EosError::invalid_state("pressure", "must be finite");
  EXPECT_TRUE(e.has_field());
  EXPECT_EQ(e.field(), "pressure");
  EXPECT_EQ(e.message(), "must be finite");
  EXPECT_FALSE(EosError::convergence_failed().has_field());
  EXPECT_EQ(EosError::convergence_failed().field(), "");
}

TEST(FitError, VariantsKeepTheirPayload) {
  const FitError input = FitError::invalid_input("max_evaluations must be positive");
  EXPECT_EQ(input.kind(), FitErrorKind::InvalidInput);
  EXPECT_EQ(input.message(), "max_evaluations must be positive");
  EXPECT_EQ(input.eos_error(), nullptr);

  const FitError failed = FitError::evaluation_failed("residual evaluation returned an invalid vector");
  EXPECT_EQ(failed.kind(), FitErrorKind::EvaluationFailed);

  const FitError wrapped = EosError::invalid_parameter("K0", "must be positive and finite");
  ASSERT_EQ(wrapped.kind(), FitErrorKind::Eos);
  ASSERT_NE(wrapped.eos_error(), nullptr);
  EXPECT_EQ(wrapped.eos_error()->field(), "K0");
  EXPECT_EQ(wrapped.message(), "");

  EXPECT_EQ(FitError::singular_system().kind(), FitErrorKind::SingularSystem);
}

}  // namespace
}  // namespace barometra
