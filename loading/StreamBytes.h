#pragma once
#include <cstdint>
#include <istream>

// Bytes between the stream's read position and its end, found by seeking
// (the position is restored). UINT64_MAX when the stream can't tell, so the
// readers can refuse a count that can't fit before they allocate for it.
uint64_t BytesLeftInStream(std::istream& stream);

// Reads `size` bytes into `out`; false (and the stream left failed) when
// fewer than `size` bytes were there.
bool ReadBytes(std::istream& stream, void* out, uint64_t size);
