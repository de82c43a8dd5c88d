// Names a case of a parameterised table after the `name` of its row.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct RowName {
    template <class Row>
    std::string operator()(const testing::TestParamInfo<Row>& row) const {
        return row.param.name;
    }
};
