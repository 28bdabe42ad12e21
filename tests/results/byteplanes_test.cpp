// The byte planes and their zlib stream: zlib itself inflates every stream
// back to the planes, runs become a few bytes, noise costs only the stored
// blocks' headers, and the shuffle is the filter's byte order.
#include "results/byteplanes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Deterministic noise: no two neighbours alike often enough to code runs.
Bytes noise(size_t count, uint32_t seed) {
  Bytes out(count);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = static_cast<unsigned char>(x >> 11);
  }
  return out;
}

// Runs of the given lengths, each of the next byte value from `first` on.
Bytes runs_of(const std::vector<size_t>& lengths, unsigned first) {
  Bytes out;
  unsigned value = first;
  for (size_t length : lengths) {
    out.insert(out.end(), length, static_cast<unsigned char>(value));
    value = (value + 37) % 256;
  }
  return out;
}

// The planes laid out `stride` bytes apart (the gap filled with 0xa5), coded,
// and inflated by zlib; the stream's length goes to *coded.
Bytes round_trip(const std::vector<Bytes>& planes, size_t stride, size_t* coded) {
  const size_t count = planes.empty() ? 0 : planes[0].size();
  Bytes laid(planes.size() * stride, 0xa5);
  for (size_t j = 0; j < planes.size(); ++j)
    std::copy(planes[j].begin(), planes[j].end(), laid.begin() + static_cast<long>(j * stride));
  Bytes out(byteplanes_zlib_bound(count, planes.size()));
  *coded = byteplanes_zlib(laid.data(), count, planes.size(), stride, out.data(), out.size());
  Bytes back(count * planes.size() + 1);
  uLongf length = back.size();
  if (*coded == 0 || uncompress(back.data(), &length, out.data(), *coded) != Z_OK) return {};
  back.resize(length);
  return back;
}

}  // namespace

TEST(Byteplanes, ZlibInflatesEveryStreamBackToItsPlanes) {
  struct Case {
    const char* name;
    std::vector<Bytes> planes;
    size_t most_bytes;  // the stream's length at most
  };
  const size_t n = 8192;
  std::vector<size_t> every_length(260);  // a run of each length 1..260: every match length
  for (size_t i = 0; i < every_length.size(); ++i) every_length[i] = i + 1;
  const Bytes zeros(n, 0), high(n, 0xff);  // 0xff: a 9-bit literal of the fixed code
  const size_t stored_stream = 2 + 5 + n + 2 + 4;
  const std::vector<Case> cases = {
      {"one constant plane", {zeros}, 64},
      {"a constant 9-bit literal", {high}, 64},
      {"runs around the longest match",
       {runs_of({1, 2, 3, 4, 10, 11, 257, 258, 259, 260, 261, 516, 517, 1}, 200)},
       80},
      {"every match length", {runs_of(every_length, 0)}, 260 * 4},
      {"runs of one and two bytes", {runs_of({1, 1, 2, 1, 2, 2, 1, 3, 1, 2}, 140)}, 40},
      {"noise is stored", {noise(n, 1)}, stored_stream},
      // Short runs at the start, then bytes of 9-bit literals: coding
      // starts and is undone once it would take more than storing.
      {"runs, then noise",
       {[&] {
         Bytes p = runs_of(std::vector<size_t>(256, 4), 0);
         for (unsigned char b : noise(n - p.size(), 6)) p.push_back(b | 0x90);
         return p;
       }()},
       stored_stream},
      {"noise, then runs",
       {[&] {
         Bytes p = noise(n / 8, 7);
         p.insert(p.end(), n - n / 8, 0);
         return p;
       }()},
       stored_stream},
      {"alternating bytes are stored", {runs_of(std::vector<size_t>(n, 1), 7)}, stored_stream},
      {"a chunk's planes, noise below runs",
       {noise(n, 2), noise(n, 3), runs_of({n / 2, n / 4, n / 4}, 64), zeros},
       2 + 2 * (5 + n) + 130},
      {"an odd length", {noise(8191, 4), Bytes(8191, 0x3f)}, 2 + 5 + 8191 + 80},
      {"a short plane", {Bytes{9}}, 20},
      {"empty planes", {Bytes{}, Bytes{}}, 20},
      {"a plane longer than a stored block", {noise(70000, 5)}, 2 + 10 + 70000 + 6},
  };
  for (const Case& c : cases) {
    Bytes expected;
    for (const Bytes& p : c.planes) expected.insert(expected.end(), p.begin(), p.end());
    for (size_t pad : {size_t{0}, size_t{64}}) {
      size_t coded = 0;
      const size_t stride = (c.planes.empty() ? 0 : c.planes[0].size()) + pad;
      EXPECT_EQ(round_trip(c.planes, stride, &coded), expected) << c.name << ", stride +" << pad;
      EXPECT_LE(coded, c.most_bytes) << c.name;
      EXPECT_GT(coded, 0u) << c.name;
    }
  }
}

TEST(Byteplanes, RefusesAnOutputBelowTheBound) {
  const Bytes plane(100, 1);
  Bytes out(byteplanes_zlib_bound(plane.size(), 1) - 1);
  EXPECT_EQ(byteplanes_zlib(plane.data(), plane.size(), 1, plane.size(), out.data(), out.size()),
            0u);
}

TEST(Byteplanes, RunsCountsEqualNeighbours) {
  const struct {
    Bytes plane;
    size_t runs;
  } cases[] = {
      {{}, 0},
      {{5}, 1},
      {Bytes(8192, 5), 1},
      {runs_of({17, 1, 16, 15, 33}, 0), 5},
      {runs_of(std::vector<size_t>(100, 1), 0), 100},
      {runs_of(std::vector<size_t>(5000, 2), 0), 5000},
  };
  for (const auto& c : cases) EXPECT_EQ(byteplanes_runs(c.plane.data(), c.plane.size()), c.runs);
}

TEST(Byteplanes, ShuffleIsTheFiltersByteOrder) {
  for (size_t size : {size_t{8}, size_t{4}}) {
    for (size_t count : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{48}}) {
      const Bytes in = noise(count * size, static_cast<uint32_t>(count + size));
      const size_t stride = count + 3;
      Bytes out(size * stride, 0xee);
      byteplanes_shuffle(in.data(), out.data(), count, size, stride);
      for (size_t j = 0; j < size; ++j) {
        for (size_t i = 0; i < count; ++i)
          ASSERT_EQ(out[j * stride + i], in[i * size + j]) << size << " " << count << " " << i;
        for (size_t i = count; i < stride && j + 1 < size; ++i)
          ASSERT_EQ(out[j * stride + i], 0xee) << "wrote past plane " << j;
      }
    }
  }
}
