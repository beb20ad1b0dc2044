// The test programs' entry: GoogleTest's, then the parallel runtime's workers stopped, as
// ExitFilter stops them in the editor. Windows ends every other thread before the exit handlers
// run, and a runtime that then waits for its workers waits for ever.
#include <gtest/gtest.h>
#include <omp.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    omp_pause_resource_all(omp_pause_hard);
    return result;
}
