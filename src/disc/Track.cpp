#include "disc/Track.h"

#include <utility>

namespace tolvane {

void Track::SetCDText(std::shared_ptr<tolvane::CDText> value)
{
    cdText_ = std::move(value);
}

void Track::SetDigitalCopy(bool value)
{
    digitalCopy_ = value;
}

void Track::SetISRC(std::string value)
{
    isrc_ = std::move(value);
}

void Track::SetLBA(std::int32_t value)
{
    lba_ = value;
}

void Track::SetLogicalBlocks(std::int32_t value)
{
    logicalBlocks_ = value;
}

void Track::SetMode(std::string value)
{
    mode_ = std::move(value);
}

void Track::SetMSF(std::string value)
{
    msf_ = std::move(value);
}

void Track::SetPreemphasis2(bool value)
{
    preemphasis2_ = value;
}

void Track::SetPreemphasis4(bool value)
{
    preemphasis4_ = value;
}

void Track::SetRawSize(FixedPoint value)
{
    rawSize_ = value;
}

} // namespace tolvane
