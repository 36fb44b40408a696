#pragma once
// Loads every media library once for the test program.
#include <gtest/gtest.h>

#include "media/binding/FFLoad.h"

inline void RequireLibraries() {
  if (!sw::FFLoader().LibrarySetLoaded(sw::AllLibraries)) {
    ASSERT_TRUE(sw::FFLoader().LoadLibrarySet(sw::AllLibraries)) << sw::FFLoader().GetLastErrorText();
  }
}

class WithLibraries : public ::testing::Test {
 protected:
  void SetUp() override { RequireLibraries(); }
};

inline std::string TestData(const std::string& name) { return std::string(SNIPWAVE_TEST_DATA) + "/" + name; }
