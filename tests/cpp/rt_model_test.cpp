#include "barometra/isothermal/rt_model.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace barometra {
namespace {

RtModel bm3() { return *BM3::create(11.0, 160.0, 4.0); }

TEST(RtModel, TagOrderAndNames) {
  const std::array<std::string_view, 17> expected = {
      "Baonza",         "DensityPolynomial3", "BM2",           "BM3",
      "BM4",            "Morse3",             "Murnaghan",     "SecondOrderMurnaghan",
      "ModifiedTait",   "NaturalStrain2",     "NaturalStrain3", "NaturalStrain4",
      "RydbergStacey",  "SunMorse3",          "SunMorse4",     "Vinet",
      "Holzapfel"};
  static_assert(RtModel::kModelCount == 17);
  std::vector<RtModel> models = {
      *Baonza::create(11, 160, 4),
      *DensityPolynomial3::create(11, 3.0, -1.0, 2.0, 0.5, 0.1),
      *BM2::create(11, 160),
      bm3(),
      *BM4::create(11, 160, 4, -0.02),
      *Morse3::create(11, 160, 4),
      *Murnaghan::create(11, 160, 4),
      *SecondOrderMurnaghan::create(11, 160, 4, -0.02, 0),
      *ModifiedTait::create(11, 160, 4, -0.02),
      *NaturalStrain2::create(11, 160),
      *NaturalStrain3::create(11, 160, 4),
      *NaturalStrain4::create(11, 160, 4, -0.02),
      *RydbergStacey::create(11, 160, 4, 2.5),
      *SunMorse3::create(11, 160, 4),
      *SunMorse4::create(11, 160, 4),
      *Vinet::create(11, 160, 4),
      *Holzapfel::create(11, 160, 4, 3, 10),
  };
  for (std::size_t i = 0; i < models.size(); ++i) {
    EXPECT_EQ(models[i].tag(), i);
    EXPECT_EQ(models[i].model_name(), expected[i]);
    // DensityPolynomial3 stores its coefficients first but reports V0.
    EXPECT_EQ(models[i].reference_volume(), 11.0) << expected[i];
  }
  EXPECT_EQ(models[16].parameter_names().size(), 5u);
  EXPECT_STREQ(models[16].parameter_names()[4], "Z");
  EXPECT_STREQ(models[1].parameter_names()[1], "rho0");
}

TEST(RtModel, DispatchesToTheModel) {
  const auto direct = *Vinet::create(11.0, 160.0, 4.5);
  const RtModel wrapped = direct;
  // Not bitwise: the compiler may fold one side with correctly rounded cbrt and exp.
  EXPECT_NEAR(*wrapped.pressure(9.0), *direct.pressure(9.0), 1e-12);
  EXPECT_NEAR(*wrapped.bulk_modulus(9.0), *direct.bulk_modulus(9.0), 1e-11);
  EXPECT_NEAR(*wrapped.volume(20.0), *direct.volume(20.0), 1e-12);
  EXPECT_NEAR(*wrapped.bulk_modulus_derivative(9.0, 1e-4),
              *direct.bulk_modulus_derivative(9.0, 1e-4), 1e-8);
}

std::expected<RtModel, FitError> replace(const RtModel& m, std::vector<std::string_view> names,
                                         std::vector<double> values) {
  return m.with_parameters(names, values);
}

TEST(RtModel, WithParametersReplacesByNativeName) {
  auto replaced = replace(bm3(), {"K0_prime", "V0"}, {5.0, 12.0});
  ASSERT_TRUE(replaced);
  const BM3* model = replaced->get_if<BM3>();
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->parameters(), (std::array<double, 3>{12.0, 160.0, 5.0}));

  // A repeated name takes its first value; an empty list changes nothing.
  auto repeated = replace(bm3(), {"K0", "K0"}, {100.0, 200.0});
  EXPECT_EQ(repeated->get_if<BM3>()->parameters()[1], 100.0);
  auto same = replace(bm3(), {}, {});
  EXPECT_EQ(same->get_if<BM3>()->parameters(), bm3().get_if<BM3>()->parameters());
}

TEST(RtModel, WithParametersFailures) {
  auto lengths = replace(bm3(), {"V0", "K0"}, {1.0});
  EXPECT_EQ(lengths.error(),
            FitError::invalid_input("native EOS parameter names and values have different lengths"));
  auto unknown = replace(bm3(), {"K0", "K0p"}, {1.0, 2.0});
  EXPECT_EQ(unknown.error(),
            FitError::invalid_input("parameter \"K0p\" is unavailable for the native EOS"));
  // Case matters, and Z belongs to Holzapfel only.
  EXPECT_FALSE(replace(bm3(), {"v0"}, {1.0}));
  EXPECT_FALSE(replace(bm3(), {"Z"}, {1.0}));
  RtModel holzapfel = *Holzapfel::create(11, 160, 4, 3, 10);
  EXPECT_TRUE(replace(holzapfel, {"Z"}, {12.0}));

  auto rebuilt = replace(bm3(), {"K0"}, {-1.0});
  ASSERT_FALSE(rebuilt);
  ASSERT_EQ(rebuilt.error().kind(), FitErrorKind::Eos);
  EXPECT_EQ(*rebuilt.error().eos_error(),
            EosError::invalid_parameter("K0", "must be positive and finite"));
}

TEST(RtModel, ReferenceStateOperations) {
  const RtModel bm2 = *BM2::create(11, 160);
  EXPECT_TRUE(bm2.with_pressure_derivative_shift(0.0));
  EXPECT_EQ(bm2.with_pressure_derivative_shift(0.1).error().field(), "kprime_log_coefficient");
  for (const RtModel& shiftable :
       {RtModel(*Murnaghan::create(11, 160, 4)), RtModel(*NaturalStrain3::create(11, 160, 4)),
        RtModel(*Vinet::create(11, 160, 4))}) {
    auto shifted = shiftable.with_pressure_derivative_shift(0.5);
    ASSERT_TRUE(shifted) << shiftable.model_name();
    EXPECT_EQ(shifted->tag(), shiftable.tag());
  }
  const RtModel dp3 = *DensityPolynomial3::create(11, 3.0, -1.0, 2.0, 0.5, 0.1);
  EXPECT_EQ(dp3.with_reference_state(11, 160).error(),
            EosError::invalid_parameter(
                "rt_eos", "density polynomial does not support shifting its reference state"));
  auto moved = bm3().with_reference_state(12.0, 150.0);
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->reference_volume(), 12.0);
}

}  // namespace
}  // namespace barometra
