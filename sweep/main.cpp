#include "sweep/sweep.h"

int main(int argc, char** argv) {
  return sweep_main(argc, argv);
}
