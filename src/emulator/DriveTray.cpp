#include "emulator/DriveImpl.h"

namespace tolvane::emulator {

Outcome EmulatedDrive::Impl::TestUnitReady(const Request&)
{
    return Outcome::Built(0);
}

Outcome EmulatedDrive::Impl::RequestSense(const Request&)
{
    // A pending UNIT ATTENTION is reported here as sense data (GOOD status)
    // and cleared; else the sense of the last failed command; else the state
    // of the medium, as a drive answers a host that polls with REQUEST SENSE.
    std::optional<Sense> s;
    if (unitAttention) {
        unitAttention = false;
        s = sense::MediumMayHaveChanged;
    } else if (deferredSense) {
        const ScsiResult r = *deferredSense;
        deferredSense.reset();
        Bytes a = Answer(ScsiResult::MaxSense);
        std::copy_n(r.sense.begin(), ScsiResult::MaxSense, a.begin());
        return Outcome::Built(a.size());
    } else {
        s = MediumProblem();
    }
    Bytes a = Answer(ScsiResult::MaxSense);
    a[0] = 0x70; // current error, fixed format
    a[7] = 10;   // additional sense length
    if (s) {
        a[2] = s->key;
        a[12] = s->asc;
        a[13] = s->ascq;
    }
    return Outcome::Built(a.size());
}

// The host locks the tray while it uses the disc (Linux does when a program opens the
// drive without O_NONBLOCK); an eject command then fails until it is unlocked.
Outcome EmulatedDrive::Impl::PreventAllowMediumRemoval(const Request& r)
{
    removalPrevented = (r.cdb[4] & 0x01) != 0;
    return Outcome::Built(0);
}

// The drive reads at its one speed whatever is asked; drives that cannot honour a
// speed also answer GOOD and keep their own.
Outcome EmulatedDrive::Impl::SetCdSpeed(const Request&)
{
    return Outcome::Built(0);
}

Outcome EmulatedDrive::Impl::StartStopUnit(const Request& r)
{
    const std::uint8_t b4 = r.cdb[4];
    if ((b4 >> 4) != 0) {
        return Outcome::Built(0); // a power condition: accepted, nothing to model
    }
    const bool loej = (b4 & 0x02) != 0;
    const bool start = (b4 & 0x01) != 0;
    if (loej && !start && removalPrevented) {
        return Outcome::Fail(sense::MediumRemovalPrevented);
    }
    if (loej && !start) {
        if (tray == Tray::Closed) {
            tray = Tray::Open;
            if (disc) {
                mediaEvent = media_event::MediaRemoval;
            }
        }
        return Outcome::Built(0);
    }
    if (loej && start) {
        if (tray == Tray::Open) {
            tray = Tray::Closed;
            Loaded();
        }
        return Outcome::Built(0);
    }
    if (start) {
        // Spinning up needs a disc in the closed tray; a drive still spinning up accepts it.
        if (tray == Tray::Open) {
            return Outcome::Fail(sense::TrayOpen);
        }
        if (!disc) {
            return Outcome::Fail(sense::MediumNotPresent);
        }
    }
    return Outcome::Built(0);
}

Outcome EmulatedDrive::Impl::GetEventStatusNotification(const Request& r)
{
    if ((r.cdb[1] & 0x01) == 0) {
        return Outcome::Fail(sense::InvalidField); // only polled operation
    }
    constexpr std::uint8_t MediaClassBit = 0x10;
    const bool wantsMedia = (r.cdb[4] & MediaClassBit) != 0;
    Bytes a = Answer(wantsMedia ? 8 : 4);
    PutBe16(a, 0, static_cast<std::uint16_t>(a.size() - 2)); // event data length
    a[3] = MediaClassBit;                                    // supported classes: media
    if (!wantsMedia) {
        a[2] = 0x80; // NEA: no event of the requested classes
        return Outcome::Built(a.size());
    }
    a[2] = 0x04; // notification class: media
    a[4] = mediaEvent;
    mediaEvent = media_event::NoChange;
    a[5] = static_cast<std::uint8_t>((disc ? 0x02 : 0x00) | (tray == Tray::Open ? 0x01 : 0x00));
    return Outcome::Built(a.size());
}

} // namespace tolvane::emulator
