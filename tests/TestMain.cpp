#include <gtest/gtest.h>

#include <clocale>

// The locale comes from the environment, as in the programs: file-name tests depend on it.
int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
