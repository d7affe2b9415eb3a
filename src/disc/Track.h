// Track: one track of the table of contents.
//
// Filled by the disc object while it reads a disc, then only read. Getters
// return the stored values unchanged; the setters are for the disc object alone.
#pragma once

#include "disc/CDText.h"
#include "util/FixedPoint.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tolvane {

class OpticalDisk;

class Track {
public:
    std::shared_ptr<const tolvane::CDText> CDText() const { return cdText_; }
    bool DigitalCopy() const { return digitalCopy_; }
    const std::string& ISRC() const { return isrc_; }
    std::int32_t LBA() const { return lba_; }
    std::int32_t LogicalBlocks() const { return logicalBlocks_; }
    const std::string& Mode() const { return mode_; }
    const std::string& MSF() const { return msf_; }
    bool Preemphasis2() const { return preemphasis2_; }
    bool Preemphasis4() const { return preemphasis4_; }
    FixedPoint RawSize() const { return rawSize_; }

private:
    friend class OpticalDisk;

    void SetCDText(std::shared_ptr<tolvane::CDText> value);
    void SetDigitalCopy(bool value);
    void SetISRC(std::string value);
    void SetLBA(std::int32_t value);
    void SetLogicalBlocks(std::int32_t value);
    void SetMode(std::string value);
    void SetMSF(std::string value);
    void SetPreemphasis2(bool value);
    void SetPreemphasis4(bool value);
    void SetRawSize(FixedPoint value);

    std::shared_ptr<tolvane::CDText> cdText_;
    bool digitalCopy_ = false;
    std::string isrc_;
    std::int32_t lba_ = 0;
    std::int32_t logicalBlocks_ = 0;
    std::string mode_;
    std::string msf_;
    bool preemphasis2_ = false;
    bool preemphasis4_ = false;
    FixedPoint rawSize_;
};

} // namespace tolvane
