// Process utilities of the daemon: start a program without a shell, poll one
// child for its end, find a process by its program name. Everything goes
// through the seam (fork_exec, waitpid, the "/proc" tree). Main thread only.
#pragma once

#include <sys/types.h>

#include "OS/linux/psosapi/eErrorT.h"

// Starts argv[0] with the null-terminated `argv` in a child. kNoError with
// the child's pid in *pid; kSystemCallFailed (logged, *pid = 0) when no
// child could be made; kBadParameter for a missing argv, argv[0] or pid.
// A child whose exec fails prints "execve() failed: <reason>" on its stderr
// and exits with status 1.
eErrorT forkExec(const char** argv, pid_t* pid);

// Non-blocking check of child `pid`: ended normally, kNoError with its exit
// code in *exitstatus; still running, kTimeOut; ended by a signal, kRejected
// with the signal number; stopped, kAlreadyInUse; waitpid failed (no such
// child), kBadParameter; another pid reported, kBadState. A pid <= 0 is
// refused with kBadParameter (it would reap some other child).
eErrorT waitOnChild(pid_t pid, int* exitstatus);

// The lowest pid whose program name (the first argument of its command line,
// as far as the first 127 bytes reach) contains `procname`, so "sshd" also
// finds "sshd_nocbc"; 0 when none, or when "/proc" cannot be read or
// `procname` is empty.
pid_t findPid(const char* procname);
