#include "disc/DVD.h"

#include <utility>

namespace tolvane {

void DVD::SetLayers(std::uint8_t value)
{
    layers_ = value;
}

void DVD::SetRegion(std::uint8_t value)
{
    region_ = value;
}

} // namespace tolvane
