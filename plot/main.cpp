#include "plot/plot.h"

int main(int argc, char** argv) {
  return plot_main(argc, argv);
}
