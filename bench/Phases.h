#pragma once

#include <QString>

// One measurement, run in a process of its own so that no other measurement's
// memory, caches or event sources leak into it. Each prints its results on
// standard output as lines "figure NAME VALUE" and returns the process's exit
// status (0 when it could measure).
//
//   efficiency  a paced update of `imageSize`: line stage against wire time
//   turnaround  the same without pacing: ACK to next SOH
//   cpu         10 s of waiting for a start-up text that never comes
//   memory      peak resident memory during an unpaced transfer of `imageSize`
//   startup     the program's own start in its folder, up to its window shown
//   bare        QApplication and an empty QWidget, up to it shown
//
// The start-up phases take the launch moment (steady clock, nanoseconds) from
// the environment variable VELTRAX_BENCH_LAUNCH_NS.
int runPhase(const QString &phase, const QString &imageSize);

inline constexpr char LaunchVariable[] = "VELTRAX_BENCH_LAUNCH_NS";
