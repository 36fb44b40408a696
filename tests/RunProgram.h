#pragma once
// Runs a command through the shell and collects what it prints and its exit status.
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct TProgramRun {
  int Status = -1;
  std::string Output;
};

// command is given to the shell as it stands, redirections included.
inline TProgramRun RunProgram(const std::string& command) {
  TProgramRun run;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return run;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) run.Output.append(buf, n);
  const int status = ::pclose(p);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
