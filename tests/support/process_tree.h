#pragma once

// The programs a test starts end with the test, and so does everything they started in turn: a
// browser's zygote, renderers and crash handler, a program's helpers. A program started through
// ownProcessTree() leads a process group of its own and carries a mark in its environment that its
// descendants inherit; endProcessTree() ends the program, then every process in its group, with
// its mark or below any of these (found through the parent links in /proc), and returns once
// each is gone. Such a process can escape its parent (a helper that forks twice, a zygote whose
// browser ended first); with adoptOrphans() it becomes a child of the test process instead of
// init's, which reaps it here, so that no process of an ended test lingers, not even as a zombie.

#include <QProcess>

namespace orveltest {

// Makes this process the reaper of its descendants' orphans (PR_SET_CHILD_SUBREAPER).
void adoptOrphans();

// Call before `process` starts (after its environment is set): it starts as the leader of a
// process group of its own, with the mark in its environment.
void ownProcessTree(QProcess& process);

// Ends the program that `process` started and its whole tree: SIGTERM to the program and up to
// `graceMs` for it to end (SIGKILL at once when 0), then SIGTERM to the rest of the tree, SIGKILL
// to what remains a second later; returns when every one is gone (or after 20 s, saying so on
// the standard error). Nothing happens for a process that never started.
void endProcessTree(QProcess& process, int graceMs = 5000);

// Ends every descendant of this process in the same way: at the end of a test program, once no
// test runs.
void endDescendants(int graceMs = 2000);

}  // namespace orveltest
