// The application driver: command line, state export and shell quoting.

#include "app/quillet.h"

int main(int argc, char **argv) {
  g_test_init(&argc, &argv, NULL);
  return g_test_run();
}
