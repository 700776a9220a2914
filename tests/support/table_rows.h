#pragma once
// Table rows by name for tests; a name that is not in the table fails the test.

#include <gtest/gtest.h>

#include <string_view>

#include "acquisition/scope_tables.h"

namespace kr40::test {

inline int Tb(std::string_view key)
{
    const int i = TimeBaseIndex(key);
    if (i < 0) ADD_FAILURE() << "no time base " << key;
    return i;
}

inline int Volts(std::string_view suffix)
{
    const int i = VoltsIndex(suffix);
    if (i < 0) ADD_FAILURE() << "no volts/div row " << suffix;
    return i;
}

inline int DivItem(int divisions)
{
    const int i = DivisionIndex(divisions);
    if (i < 0) ADD_FAILURE() << "no division item " << divisions;
    return i;
}

}  // namespace kr40::test
