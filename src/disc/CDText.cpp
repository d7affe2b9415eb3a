#include "disc/CDText.h"

#include <utility>

namespace tolvane {

void CDText::SetArtist(std::string value)
{
    artist_ = std::move(value);
}

void CDText::SetTitle(std::string value)
{
    title_ = std::move(value);
}

} // namespace tolvane
