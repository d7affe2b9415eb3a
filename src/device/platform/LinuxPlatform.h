// The Linux platform: the registry's virtual drives and the optical devices
// /dev/srN, given drive letters from D: upward in that order.
#pragma once

#include "device/platform/Platform.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tolvane {

class VirtualDriveRegistry;

// A platform whose optical devices are the entries srN of deviceFolder (read
// once, now), ordered by N. CreateSystemPlatform uses "/dev"; tests use a
// folder of their own. registry may be null.
std::unique_ptr<Platform> CreateLinuxPlatform(std::shared_ptr<VirtualDriveRegistry> registry,
                                              std::string deviceFolder);

// The dev_id of SCSI_IOCTL_GET_IDLUN (id | lun << 8 | channel << 16 | host << 24)
// as a SCSI_ADDRESS: the host is the port, the channel the path id.
ScsiAddress DecodeIdLun(std::uint32_t devId);

// The address a virtual drive reports: port VirtualPortBase + its position in
// the registry (so it cannot be mistaken for a real host adapter's low
// number), path, target and logical unit 0.
constexpr std::uint8_t VirtualPortBase = 0x80;

} // namespace tolvane
