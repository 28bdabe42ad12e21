// Least-squares complex-frequency (LSCF) pole estimation over a range of model
// orders: the stabilisation diagram and the automatic choice of its stable
// physical poles. The common denominator is shared by every FRF given.
#pragma once

#include <string>
#include <vector>

#include "frf/frf.h"

// One pole of one model order, counted once per conjugate pair.
struct LscfPole {
  int order;             // model order (denominator degree) that gave it
  double freq;           // Hz, undamped natural frequency |lambda| / (2 pi)
  double damping_ratio;  // -, -Re(lambda) / |lambda|
  int stable;  // 1 when freq within 1 % and damping within 5 % of a pole of the order two below
};

// A physical pole chosen from the diagram.
struct LscfChoice {
  double freq;           // Hz, undamped natural frequency (median over its cluster)
  double damping_ratio;  // -, median over its cluster
  int count;             // stable poles in its cluster (one per order at most)
};

// The poles of orders order_min, order_min + 2, ... up to order_max fitted to the FRFs'
// points in freq_from..freq_to (Hz); every pole with its natural frequency in the band and
// 0 < damping < 1 goes into *poles, ascending order then frequency; "previous order" is
// the order two below. 1, or 0 with *error (needs 1 <= order_min <= order_max <= 120
// and at least 2 order_max + 1 points of every FRF in the band).
int lscf_diagram(const std::vector<FrfData>& frfs, double freq_from, double freq_to, int order_min,
                 int order_max, std::vector<LscfPole>* poles, std::string* error);

// The stable poles of the diagram grouped across orders (frequencies within 1 %), keeping
// groups stable in at least `least` orders (0: a quarter of the diagram's orders and at
// least 3), ascending frequency.
std::vector<LscfChoice> lscf_choose(const std::vector<LscfPole>& poles, int order_min,
                                    int order_max, int least);
