// Undoing what a run cut short left behind: its half-written output, its workspace.
#pragma once

namespace pomu {

// Called once at start, before any conversion: an output a job had begun to write when pomu
// was killed (or the power went) goes to the Recycle Bin / Trash, where nobody takes it for
// a finished conversion; every left workspace is cleared. Only files the job saw the archiver
// create are touched, never one that stood there before or was made there afterwards.
void cleanUpInterruptedRuns();

}  // namespace pomu
