// Allocation failures on request, so that tests can prove every stage of a render ends cleanly
// when memory runs out: KINETRA_FAIL_ALLOCATION=STAGE in the environment makes the named stage's
// next allocation fail. Without it nothing fails.
#pragma once

namespace kinetra::editor {

// Throws std::bad_alloc when the environment asks for `stage` to fail.
void AllocationPoint(const char* stage);

}  // namespace kinetra::editor
