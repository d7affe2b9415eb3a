// How Extract copies the selected tracks: WAV or FLAC, secure or burst, and the drive's read
// offset. Asked once each time Extract is pressed; the answers stay while the program runs.
#pragma once

#include "app/Form.h"

namespace tolvane::app {

struct RipChoices {
    bool flac = false;
    bool secure = true;
    int offset = 0; // samples, the correction the drive needs
};

class FormRipOptions : public Form {
    Q_OBJECT
public:
    explicit FormRipOptions(QWidget* parent = nullptr);

    // Shows the window with `choices` filled in; on OK they become what the user chose. False
    // when the user cancelled.
    bool Ask(RipChoices& choices);

    // The offset as typed; false when it is no whole number of samples a drive could have.
    static bool ParseOffset(const QString& text, int& offset);

private:
    void Confirm();

    RipChoices choices_;
};

} // namespace tolvane::app
