// The stand-in agent that the test and demo packages install: its presence
// under Program Files is what a second run detects.
#include <stdio.h>

int wmain() {
  fputs("Bastion agent (test build)\n", stdout);
  return 0;
}
