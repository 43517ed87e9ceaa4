#pragma once
// Names value-parameterised cases by their position ("Case0", "Case1", ...).
// Without it GoogleTest names a struct parameter by its raw bytes, padding
// included, so the names change between runs and CTest's filter misses them.

#include <gtest/gtest.h>

#include <string>

namespace qvr::testing {

struct CaseIndexName {
    template <typename T>
    std::string operator()(const ::testing::TestParamInfo<T>& info) const {
        return "Case" + std::to_string(info.index);
    }
};

}  // namespace qvr::testing
