// Runs a program with a file-size limit, as a full disk would stop it: every write past
// LIMIT bytes fails with EFBIG instead of killing the process with SIGXFSZ.
//
//   fsize_launcher LIMIT PROGRAM [ARGS...]

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: fsize_launcher LIMIT PROGRAM [ARGS...]\n");
    return 2;
  }
  const rlim_t limit = std::strtoull(argv[1], nullptr, 10);
  const rlimit size{limit, limit};
  if (setrlimit(RLIMIT_FSIZE, &size) != 0 || std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR) {
    std::perror("fsize_launcher");
    return 2;
  }
  execv(argv[2], argv + 2);
  std::perror("fsize_launcher: exec");
  return 127;
}
