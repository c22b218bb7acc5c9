// SPDX-License-Identifier: MIT
// Opening an input file. A directory opens like a file but reads as nothing
// (or fails on the first read), which would pass for an empty input: it is
// refused here as a file that cannot be opened.
#pragma once
#include <cstdio>

// fopen(path, mode), or nullptr when that fails or path is a directory.
// Throws std::bad_alloc when there is no memory for the stream.
std::FILE* open_input(const char* path, const char* mode);
