#include "usage/TokenUsage.h"

#include "usage/SaturatingMath.h"

#include <algorithm>

namespace Usage {

std::int64_t TokenUsage::total() const
{
    return saturatingAdd(saturatingAdd(saturatingAdd(cacheRead, cacheWrite), freshInput), output);
}

std::optional<double> TokenUsage::contextFraction() const
{
    if (!contextWindow || *contextWindow < 1)
        return std::nullopt;
    return std::min(1.0, static_cast<double>(contextUsed) / static_cast<double>(*contextWindow));
}

} // namespace Usage
