// CD: facts about the disc as a whole and the fields of its ISO 9660 primary volume descriptor.
//
// Filled by the disc object while it reads a disc, then only read. Getters
// return the stored values unchanged; the setters are for the disc object alone.
#pragma once

#include "util/FixedPoint.h"

#include <cstdint>
#include <string>

namespace tolvane {

class OpticalDisk;

class CD {
public:
    const std::string& AbstractFileIdentifier() const { return abstractFileIdentifier_; }
    const std::string& ApplicationIdentifier() const { return applicationIdentifier_; }
    const std::string& BibliographicalFileIdentifier() const { return bibliographicalFileIdentifier_; }
    const std::string& CDDB() const { return cddb_; }
    const std::string& CopyrightFileIdentifier() const { return copyrightFileIdentifier_; }
    const std::string& DataPreparerIdentifier() const { return dataPreparerIdentifier_; }
    const std::string& DiscFormat() const { return discFormat_; }
    std::uint8_t DiscStatus() const { return discStatus_; }
    const std::string& DiscType() const { return discType_; }
    bool Erasable() const { return erasable_; }
    std::int16_t LogicalBlockSize() const { return logicalBlockSize_; }
    std::int32_t LPathTableLocation() const { return lPathTableLocation_; }
    std::int32_t MPathTableLocation() const { return mPathTableLocation_; }
    std::int32_t OptionalLPathTableLocation() const { return optionalLPathTableLocation_; }
    std::int32_t OptionalMPathTableLocation() const { return optionalMPathTableLocation_; }
    std::int32_t PathTableSize() const { return pathTableSize_; }
    const std::string& PublisherIdentifier() const { return publisherIdentifier_; }
    const std::string& SerialNumber() const { return serialNumber_; }
    std::uint8_t Sessions() const { return sessions_; }
    const std::string& SystemIdentifier() const { return systemIdentifier_; }
    std::int32_t TotalLogicalBlocks() const { return totalLogicalBlocks_; }
    FixedPoint TotalRawSize() const { return totalRawSize_; }
    const std::string& UPC() const { return upc_; }
    const std::string& VolumeCreation() const { return volumeCreation_; }
    const std::string& VolumeEffective() const { return volumeEffective_; }
    const std::string& VolumeExpiration() const { return volumeExpiration_; }
    const std::string& VolumeIdentifier() const { return volumeIdentifier_; }
    const std::string& VolumeModification() const { return volumeModification_; }
    const std::string& VolumeSetIdentifier() const { return volumeSetIdentifier_; }
    std::int32_t VolumeSpaceSize() const { return volumeSpaceSize_; }

private:
    friend class OpticalDisk;

    void SetAbstractFileIdentifier(std::string value);
    void SetApplicationIdentifier(std::string value);
    void SetBibliographicalFileIdentifier(std::string value);
    void SetCDDB(std::string value);
    void SetCopyrightFileIdentifier(std::string value);
    void SetDataPreparerIdentifier(std::string value);
    void SetDiscFormat(std::string value);
    void SetDiscStatus(std::uint8_t value);
    void SetDiscType(std::string value);
    void SetErasable(bool value);
    void SetLogicalBlockSize(std::int16_t value);
    void SetLPathTableLocation(std::int32_t value);
    void SetMPathTableLocation(std::int32_t value);
    void SetOptionalLPathTableLocation(std::int32_t value);
    void SetOptionalMPathTableLocation(std::int32_t value);
    void SetPathTableSize(std::int32_t value);
    void SetPublisherIdentifier(std::string value);
    void SetSerialNumber(std::string value);
    void SetSessions(std::uint8_t value);
    void SetSystemIdentifier(std::string value);
    void SetTotalLogicalBlocks(std::int32_t value);
    void SetTotalRawSize(FixedPoint value);
    void SetUPC(std::string value);
    void SetVolumeCreation(std::string value);
    void SetVolumeEffective(std::string value);
    void SetVolumeExpiration(std::string value);
    void SetVolumeIdentifier(std::string value);
    void SetVolumeModification(std::string value);
    void SetVolumeSetIdentifier(std::string value);
    void SetVolumeSpaceSize(std::int32_t value);

    std::string abstractFileIdentifier_;
    std::string applicationIdentifier_;
    std::string bibliographicalFileIdentifier_;
    std::string cddb_;
    std::string copyrightFileIdentifier_;
    std::string dataPreparerIdentifier_;
    std::string discFormat_;
    std::uint8_t discStatus_ = 3;
    std::string discType_;
    bool erasable_ = false;
    std::int16_t logicalBlockSize_ = 0;
    std::int32_t lPathTableLocation_ = 0;
    std::int32_t mPathTableLocation_ = 0;
    std::int32_t optionalLPathTableLocation_ = 0;
    std::int32_t optionalMPathTableLocation_ = 0;
    std::int32_t pathTableSize_ = 0;
    std::string publisherIdentifier_;
    std::string serialNumber_;
    std::uint8_t sessions_ = 0;
    std::string systemIdentifier_;
    std::int32_t totalLogicalBlocks_ = 0;
    FixedPoint totalRawSize_;
    std::string upc_;
    std::string volumeCreation_;
    std::string volumeEffective_;
    std::string volumeExpiration_;
    std::string volumeIdentifier_;
    std::string volumeModification_;
    std::string volumeSetIdentifier_;
    std::int32_t volumeSpaceSize_ = 0;
};

} // namespace tolvane
