#pragma once

#include <cstdlib>
#include <memory>

namespace Platform {

// xcb hands out replies that the caller frees with free().
struct FreeDeleter
{
    void operator()(void *reply) const { std::free(reply); }
};

template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

} // namespace Platform
