// DVD: layers and region of a DVD.
//
// Filled by the disc object while it reads a disc, then only read. Getters
// return the stored values unchanged; the setters are for the disc object alone.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

class OpticalDisk;

class DVD {
public:
    std::uint8_t Layers() const { return layers_; }
    std::uint8_t Region() const { return region_; }

private:
    friend class OpticalDisk;

    void SetLayers(std::uint8_t value);
    void SetRegion(std::uint8_t value);

    std::uint8_t layers_ = 0;
    std::uint8_t region_ = 0;
};

} // namespace tolvane
