#include <cstdio>

#include "host/version.h"

int main() {
  std::printf("orvex %s\n", orvex::kVersion);
  return 0;
}
