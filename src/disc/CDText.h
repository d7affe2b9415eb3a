// CDText: one title and one artist, of the disc or of a track.
//
// Filled by the disc object while it reads a disc, then only read. Getters
// return the stored values unchanged; the setters are for the disc object alone.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

class OpticalDisk;

class CDText {
public:
    const std::string& Artist() const { return artist_; }
    const std::string& Title() const { return title_; }

private:
    friend class OpticalDisk;

    void SetArtist(std::string value);
    void SetTitle(std::string value);

    std::string artist_;
    std::string title_;
};

} // namespace tolvane
