// Counts calls of the global operator new in a test program that links
// vorpel_test_support, so that a test can show a path allocates nothing:
//   const size_t before = test::allocationCount();
//   ... the work ...
//   EXPECT_EQ(test::allocationCount() - before, 0u);
// Every thread's allocations count.
#pragma once

#include <cstddef>

namespace vorpel::test {

size_t allocationCount();

}  // namespace vorpel::test
