// Small R9-R12 files written by the tests.
#include <gtest/gtest.h>
