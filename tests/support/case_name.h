#pragma once
// Names each case of a table-driven test after its `name` field.

#include <gtest/gtest.h>

#include <string>

namespace tavorin::testing {

struct CaseName {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.name;
  }
};

}  // namespace tavorin::testing
