#include <gtest/gtest.h>
TEST(Hostile, Placeholder) {}
