#include "results/byteplanes.h"

#include <emmintrin.h>
#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {

// A Huffman code or a code with its extra bits, in the order deflate sends
// them (least significant bit first), and its length in bits.
struct Code {
  uint32_t bits;
  uint32_t length;
};

constexpr uint32_t reversed(uint32_t code, uint32_t length) {
  uint32_t out = 0;
  for (uint32_t i = 0; i < length; ++i) out |= ((code >> i) & 1u) << (length - 1 - i);
  return out;
}

// The fixed code's literals: 0-143 in 8 bits from 0x30, 144-255 in 9 bits from 0x190.
constexpr std::array<Code, 256> make_literals() {
  std::array<Code, 256> table{};
  for (uint32_t v = 0; v < 256; ++v)
    table[v] = v < 144 ? Code{reversed(0x30 + v, 8), 8} : Code{reversed(0x190 + v - 144, 9), 9};
  return table;
}

// A match of length 3..258 at distance 1: the fixed code of its length
// symbol (257-279 in 7 bits from 0, 280-287 in 8 bits from 0xc0), the
// length's extra bits, then distance code 0 in 5 bits (all zero).
constexpr std::array<Code, 259> make_matches() {
  constexpr uint32_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr uint32_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  std::array<Code, 259> table{};
  for (uint32_t length = 3; length <= 258; ++length) {
    uint32_t s = 28;
    while (base[s] > length) --s;
    const uint32_t symbol = 257 + s;
    const Code code = symbol < 280 ? Code{reversed(symbol - 256, 7), 7}
                                   : Code{reversed(0xc0 + symbol - 280, 8), 8};
    table[length] = {code.bits | ((length - base[s]) << code.length), code.length + extra[s] + 5};
  }
  return table;
}

constexpr std::array<Code, 256> kLiteral = make_literals();
constexpr std::array<Code, 259> kMatch = make_matches();

constexpr uint32_t kLongestMatch = 258;
// Bytes at the start of a plane whose runs say whether to try coding them.
constexpr size_t kSampleBytes = 1024;
// Most bits a run can take: its literal (9), two literals or one match for
// its remainder (18), and a 258-byte match for each further 258 bytes.
constexpr size_t kBitsPerRun = 27;
constexpr size_t kBitsPerLongestMatch = 18;

// Deflate's bit stream, least significant bit first. A put writes eight
// bytes at out, so the buffer has eight bytes to spare past the stream.
struct BitWriter {
  unsigned char* out;
  uint64_t pending = 0;  // bits not yet written, from bit 0
  uint32_t count = 0;    // how many; below 32 between puts

  void put(uint32_t bits, uint32_t length) {
    pending |= static_cast<uint64_t>(bits) << count;
    count += length;
    if (count >= 32) {
      std::memcpy(out, &pending, sizeof pending);
      out += 4;
      pending >>= 32;
      count -= 32;
    }
  }
  // Writes the pending bits, padded with zeros to the byte.
  void align() {
    for (; count > 0; count = count > 8 ? count - 8 : 0) {
      *out++ = static_cast<unsigned char>(pending);
      pending >>= 8;
    }
    pending = 0;
  }
};

// The first index from `from` on whose byte differs from plane[from - 1],
// or count.
size_t run_end(const unsigned char* plane, size_t from, size_t count) {
  const unsigned char byte = plane[from - 1];
  const __m128i same = _mm_set1_epi8(static_cast<char>(byte));
  size_t i = from;
  for (; i + 16 <= count; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + i));
    const unsigned differ =
        ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, same))) & 0xffffu;
    if (differ != 0) return i + static_cast<size_t>(__builtin_ctz(differ));
  }
  while (i < count && plane[i] == byte) ++i;
  return i;
}

// The number of runs of equal bytes in a plane of count bytes, counted
// until it exceeds `enough` (0 when empty).
size_t count_runs(const unsigned char* plane, size_t count, size_t enough) {
  if (count == 0) return 0;
  size_t runs = 1;
  size_t i = 1;
  while (i + 16 <= count && runs <= enough) {
    // Up to 64 blocks of 16 bytes: each lane counts its equal neighbours
    // down from zero (a true comparison is -1), and the sum of absolute
    // differences adds the lanes up.
    __m128i equal = _mm_setzero_si128();
    size_t blocks = 0;
    for (; i + 16 <= count && blocks < 64; i += 16, ++blocks) {
      const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + i));
      const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + i - 1));
      equal = _mm_sub_epi8(equal, _mm_cmpeq_epi8(now, before));
    }
    const __m128i sums = _mm_sad_epu8(equal, _mm_setzero_si128());
    const size_t same = static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
                        static_cast<size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    runs += 16 * blocks - same;
  }
  if (runs > enough) return runs;
  for (; i < count; ++i) runs += plane[i] != plane[i - 1];
  return runs;
}

// Codes a plane as a non-final block of the fixed code, each run as its
// byte and distance-1 matches for the rest; false, with nothing written,
// once that has taken `budget` bits (checked after each run, so a run's
// bits more may have been written past the stream before it is undone).
bool put_runs(BitWriter& bits, const unsigned char* plane, size_t count, size_t budget) {
  const BitWriter start = bits;
  size_t used = 3 + 7;  // the block's header and its end
  bits.put(2, 3);       // BFINAL 0, BTYPE 01
  for (size_t i = 0; i < count;) {
    const Code literal = kLiteral[plane[i]];
    bits.put(literal.bits, literal.length);
    used += literal.length;
    const size_t end = run_end(plane, i + 1, count);
    size_t left = end - i - 1;
    for (; left >= 3; left -= std::min<size_t>(left, kLongestMatch)) {
      const Code match = kMatch[std::min<size_t>(left, kLongestMatch)];
      bits.put(match.bits, match.length);
      used += match.length;
    }
    for (; left > 0; --left) bits.put(literal.bits, literal.length), used += literal.length;
    if (used >= budget) {
      bits = start;
      return false;
    }
    i = end;
  }
  bits.put(0, 7);  // end of block
  return true;
}

// Non-final stored blocks: the plane as it is.
void put_stored(BitWriter& bits, const unsigned char* plane, size_t count) {
  size_t done = 0;
  do {
    const size_t length = std::min<size_t>(count - done, 65535);
    bits.put(0, 3);  // BFINAL 0, BTYPE 00
    bits.align();
    unsigned char* out = bits.out;
    out[0] = static_cast<unsigned char>(length & 0xff);
    out[1] = static_cast<unsigned char>(length >> 8);
    out[2] = static_cast<unsigned char>(~length & 0xff);
    out[3] = static_cast<unsigned char>((~length >> 8) & 0xff);
    if (length > 0) std::memcpy(out + 4, plane + done, length);
    bits.out = out + 4 + length;
    done += length;
  } while (done < count);
}

}  // namespace

void byteplanes_shuffle(const unsigned char* in, unsigned char* out, size_t count, size_t size,
                        size_t stride) {
  size_t first = 0;  // elements from here on take the plain loop
  if (size == 8) {
    // Sixteen elements at a time through SSE2 registers.
    for (; first + 16 <= count; first += 16) {
      // b[k]: the byte pairs of elements 2k and 2k + 1, plane by plane
      // (16-bit word j holds byte j of both); then an 8 x 8 word transpose.
      __m128i b[8], t[8], u[8], plane[8];
#pragma GCC unroll 8
      for (int k = 0; k < 8; ++k) {
        const __m128i a =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + first * 8 + 16 * k));
        b[k] = _mm_unpacklo_epi8(a, _mm_shuffle_epi32(a, 0x4e));
      }
#pragma GCC unroll 4
      for (int k = 0; k < 4; ++k) {
        t[2 * k] = _mm_unpacklo_epi16(b[2 * k], b[2 * k + 1]);
        t[2 * k + 1] = _mm_unpackhi_epi16(b[2 * k], b[2 * k + 1]);
      }
#pragma GCC unroll 2
      for (int h = 0; h < 2; ++h) {  // pairs 0-3, then 4-7
        u[4 * h] = _mm_unpacklo_epi32(t[4 * h], t[4 * h + 2]);
        u[4 * h + 1] = _mm_unpackhi_epi32(t[4 * h], t[4 * h + 2]);
        u[4 * h + 2] = _mm_unpacklo_epi32(t[4 * h + 1], t[4 * h + 3]);
        u[4 * h + 3] = _mm_unpackhi_epi32(t[4 * h + 1], t[4 * h + 3]);
      }
#pragma GCC unroll 4
      for (int k = 0; k < 4; ++k) {
        plane[2 * k] = _mm_unpacklo_epi64(u[k], u[k + 4]);
        plane[2 * k + 1] = _mm_unpackhi_epi64(u[k], u[k + 4]);
      }
#pragma GCC unroll 8
      for (int k = 0; k < 8; ++k)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + first + k * stride), plane[k]);
    }
  }
  if (first == count) return;
  for (size_t j = 0; j < size; ++j)
    for (size_t i = first; i < count; ++i) out[j * stride + i] = in[i * size + j];
}

size_t byteplanes_runs(const unsigned char* plane, size_t count) {
  return count_runs(plane, count, count);
}

size_t byteplanes_zlib_bound(size_t count, size_t size) {
  // Header, each plane stored (5 bytes a 65535), the final block (2 bytes
  // at most past the last byte), Adler-32, and the bit writer's eight.
  return 2 + size * (count + 5 * (count / 65535 + 1)) + 2 + 4 + 8;
}

size_t byteplanes_zlib(const unsigned char* planes, size_t count, size_t size, size_t stride,
                       unsigned char* out, size_t capacity) {
  if (capacity < byteplanes_zlib_bound(count, size)) return 0;
  out[0] = 0x78;  // deflate, 32 KiB window
  out[1] = 0x01;  // no dictionary, fastest; 0x7801 is a multiple of 31
  BitWriter bits{out + 2};
  uint32_t adler = 1;
  for (size_t j = 0; j < size; ++j) {
    const unsigned char* plane = planes + j * stride;
    adler = libdeflate_adler32(adler, plane, count);
    // Runs are tried when the plane's first bytes hold few, and kept when
    // they take fewer bits than the plane does stored, even with the bits
    // of a run more: a plane of noise is stored at once.
    const size_t sample = std::min(count, kSampleBytes);
    const size_t most_bits = 8 * count + 40;
    const size_t longest_run_bits =
        kBitsPerRun + (count / kLongestMatch + 1) * kBitsPerLongestMatch;
    if (count_runs(plane, sample, sample / 4) > sample / 4 || most_bits <= longest_run_bits ||
        !put_runs(bits, plane, count, most_bits - longest_run_bits))
      put_stored(bits, plane, count);
  }
  bits.put(3, 3);  // BFINAL 1, BTYPE 01: an empty final block
  bits.put(0, 7);
  bits.align();
  for (int shift = 24; shift >= 0; shift -= 8)
    *bits.out++ = static_cast<unsigned char>(adler >> shift);
  return static_cast<size_t>(bits.out - out);
}
