#pragma once
#include <cstddef>
#include <string>

// Reads a whole regular file of at most `maxBytes` bytes into `*contents`.
// False when the path doesn't name a readable regular file (directories,
// FIFOs and devices are refused without blocking), when the file is larger
// than `maxBytes`, or when a read fails or comes up short; `*contents` is
// then untouched.
bool ReadSmallFile(const char* path, size_t maxBytes, std::string* contents);
