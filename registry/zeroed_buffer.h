// A heap buffer that starts out all zero and frees itself.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(BYTE* bytes) const { std::free(bytes); }
};
using ZeroedBuffer = std::unique_ptr<BYTE, FreeDeleter>;

// Null when `size` bytes cannot be had. calloc leaves large buffers to the
// system's zero pages instead of writing them.
inline ZeroedBuffer AllocateZeroed(size_t size) {
    return ZeroedBuffer(static_cast<BYTE*>(std::calloc(size ? size : 1, 1)));
}
