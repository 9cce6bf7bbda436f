// Undoing what a run cut short left behind: its half-written output, its workspace.
#pragma once

namespace pomu {

// Called once at start, before any conversion: an output a job had begun to write when pomu
// was killed (or the power went) goes to the Recycle Bin / Trash, where nobody takes it for
// a finished conversion; every left workspace is cleared. Files that stood before the job
// noted its output are never touched.
void cleanUpInterruptedRuns();

}  // namespace pomu
