// The byte planes of a chunk of fixed-size elements, as HDF5's shuffle filter
// lays them out, and one zlib stream of them, as its deflate filter stores
// them. Built for the /steps chunks of BASE.h5: there a plane is either noise
// (the low mantissa bytes of a vibrating value), which no coder shortens, or
// a few long runs of one byte (sign, exponent and leading mantissa bytes),
// which a general deflate compressor spends most of its time on.
#pragma once

#include <cstddef>

// Shuffles count elements of size bytes into planes `stride` bytes apart:
// byte j of element i moves to out[j * stride + i].
void byteplanes_shuffle(const unsigned char* in, unsigned char* out, size_t count, size_t size,
                        size_t stride);

// The number of runs of equal bytes in a plane of count bytes (0 when empty).
size_t byteplanes_runs(const unsigned char* plane, size_t count);

// Bytes that byteplanes_zlib may write for size planes of count bytes.
size_t byteplanes_zlib_bound(size_t count, size_t size);

// Writes one zlib stream (header, deflate blocks, Adler-32) of the size
// planes of count bytes, `stride` bytes apart from planes on, into out: a plane of few runs as a
// block of the fixed Huffman code with distance-1 matches, any other plane as a stored block.
// Returns its length, or 0 when capacity is below byteplanes_zlib_bound(count, size).
size_t byteplanes_zlib(const unsigned char* planes, size_t count, size_t size, size_t stride,
                       unsigned char* out, size_t capacity);
