// Process start without a shell, shared by the real and the sandbox seams.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Forks and runs `prog` with `argv` (argv[0] as given) and `envp` (null:
// this process's environment). The child starts clean: empty signal mask,
// default dispositions, no descriptors above 2. When exec fails the child
// prints "execve() failed: <reason>" on stderr and exits with status 1, as
// the daemon's own process utilities expect. Returns the pid, -1 when the
// fork fails or argv is empty.
pid_t sysio_spawn(const std::string& prog, const std::vector<std::string>& argv,
                  const std::vector<std::string>* envp);

// Forks `/bin/sh -c cmd` with `envp`; when `pipe_fd` is not null a pipe is
// set up for popen semantics: `read_side` true connects the child's stdout,
// false its stdin, and the parent's end is stored in *pipe_fd. Returns the
// pid or -1.
pid_t sysio_spawn_shell(const std::string& cmd, const std::vector<std::string>* envp,
                        int* pipe_fd, bool read_side);

// system(3) semantics on a child from sysio_spawn_shell: SIGINT and SIGQUIT
// ignored and SIGCHLD blocked while waiting; returns the wait status or -1.
int sysio_system_wait(const std::string& cmd, const std::vector<std::string>* envp);
