// The audio of a WAV file of CD audio, read back for verification: 16-bit stereo PCM at 44,100 Hz.
#pragma once

#include "util/ByteOrder.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

namespace tolvane {

class WavReader {
public:
    // Reads the header up to the data chunk; false with Error() when the file cannot be read,
    // is not a WAV file or holds audio of another kind.
    bool Open(const std::string& path);
    std::uint64_t DataBytes() const { return dataBytes_; }
    // The data chunk in pieces, in order; false with Error() when the file ends early.
    bool Read(const std::function<void(ConstBytes)>& sink);
    const std::string& Error() const { return error_; }

private:
    bool Fail(std::string why);

    std::ifstream in_;
    std::string path_;
    std::uint64_t dataBytes_ = 0;
    std::string error_;
};

} // namespace tolvane
