#include "disc/CD.h"

#include <utility>

namespace tolvane {

void CD::SetAbstractFileIdentifier(std::string value)
{
    abstractFileIdentifier_ = std::move(value);
}

void CD::SetApplicationIdentifier(std::string value)
{
    applicationIdentifier_ = std::move(value);
}

void CD::SetBibliographicalFileIdentifier(std::string value)
{
    bibliographicalFileIdentifier_ = std::move(value);
}

void CD::SetCDDB(std::string value)
{
    cddb_ = std::move(value);
}

void CD::SetCopyrightFileIdentifier(std::string value)
{
    copyrightFileIdentifier_ = std::move(value);
}

void CD::SetDataPreparerIdentifier(std::string value)
{
    dataPreparerIdentifier_ = std::move(value);
}

void CD::SetDiscFormat(std::string value)
{
    discFormat_ = std::move(value);
}

void CD::SetDiscStatus(std::uint8_t value)
{
    discStatus_ = value;
}

void CD::SetDiscType(std::string value)
{
    discType_ = std::move(value);
}

void CD::SetErasable(bool value)
{
    erasable_ = value;
}

void CD::SetLogicalBlockSize(std::int16_t value)
{
    logicalBlockSize_ = value;
}

void CD::SetLPathTableLocation(std::int32_t value)
{
    lPathTableLocation_ = value;
}

void CD::SetMPathTableLocation(std::int32_t value)
{
    mPathTableLocation_ = value;
}

void CD::SetOptionalLPathTableLocation(std::int32_t value)
{
    optionalLPathTableLocation_ = value;
}

void CD::SetOptionalMPathTableLocation(std::int32_t value)
{
    optionalMPathTableLocation_ = value;
}

void CD::SetPathTableSize(std::int32_t value)
{
    pathTableSize_ = value;
}

void CD::SetPublisherIdentifier(std::string value)
{
    publisherIdentifier_ = std::move(value);
}

void CD::SetSerialNumber(std::string value)
{
    serialNumber_ = std::move(value);
}

void CD::SetSessions(std::uint8_t value)
{
    sessions_ = value;
}

void CD::SetSystemIdentifier(std::string value)
{
    systemIdentifier_ = std::move(value);
}

void CD::SetTotalLogicalBlocks(std::int32_t value)
{
    totalLogicalBlocks_ = value;
}

void CD::SetTotalRawSize(FixedPoint value)
{
    totalRawSize_ = value;
}

void CD::SetUPC(std::string value)
{
    upc_ = std::move(value);
}

void CD::SetVolumeCreation(std::string value)
{
    volumeCreation_ = std::move(value);
}

void CD::SetVolumeEffective(std::string value)
{
    volumeEffective_ = std::move(value);
}

void CD::SetVolumeExpiration(std::string value)
{
    volumeExpiration_ = std::move(value);
}

void CD::SetVolumeIdentifier(std::string value)
{
    volumeIdentifier_ = std::move(value);
}

void CD::SetVolumeModification(std::string value)
{
    volumeModification_ = std::move(value);
}

void CD::SetVolumeSetIdentifier(std::string value)
{
    volumeSetIdentifier_ = std::move(value);
}

void CD::SetVolumeSpaceSize(std::int32_t value)
{
    volumeSpaceSize_ = value;
}

} // namespace tolvane
