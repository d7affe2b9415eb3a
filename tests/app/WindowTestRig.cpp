#include "WindowTestRig.h"

#include "controls/ListView.h"
#include "device/platform/LinuxPlatform.h"
#include "disc/OpticalDisk.h"
#include "support/TestData.h"
#include "util/ByteOrder.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>

namespace tolvane::apptest {

// The windows ask AccurateRip after a copy and read the user's drive table: never the real ones.
const int Offline = ::setenv("TOLVANE_ACCURATERIP_URL", "http://127.0.0.1:9/", 1) +
                    ::setenv("TOLVANE_OFFSETS_FILE", "/nonexistent/drive-offsets", 1);

Rig::Rig(const std::vector<emulator::DriveRequest>& requests, std::shared_ptr<Clock> clock)
{
    session.clock = std::move(clock);
    const emulator::AttachResult attached = emulator::AttachDrives(*session.registry, requests, session.clock);
    if (!attached.ok)
        qFatal("cannot attach the test drives: %s", attached.error.c_str());
    session.drives = attached.drives;
    // No device folder: the machine's own drives never appear.
    session.platform = CreateLinuxPlatform(session.registry, "/nonexistent-device-folder");
}

void Rig::Add(std::shared_ptr<const emulator::Disc> disc)
{
    auto drive = std::make_shared<emulator::EmulatedDrive>(session.clock);
    drive->Insert(std::move(disc));
    session.registry->Attach(drive);
    session.drives.push_back(drive);
}

std::unique_ptr<OpticalDisk> Rig::Open(std::size_t index, bool read)
{
    auto disk = std::make_unique<OpticalDisk>(*session.platform, session.clock);
    // A failed read (no disc) leaves the records as the windows then find them.
    if (disk->Create(std::string(1, static_cast<char>('D' + index)) + ":") && read)
        disk->Read();
    return disk;
}

emulator::DriveRequest Image(const std::string& testDataPath)
{
    return {emulator::DriveRequest::Kind::Image, test::TestDataPath(testDataPath)};
}

std::shared_ptr<emulator::Disc> BuildCd(const std::vector<TrackPiece>& tracks)
{
    static const auto pattern = std::make_shared<emulator::AddressPatternSource>();
    auto disc = std::make_shared<emulator::Disc>();
    std::int32_t lba = 0;
    for (const auto& [mode, blocks] : tracks) {
        emulator::Track track;
        track.number = static_cast<std::uint8_t>(disc->tracks.size() + 1);
        track.mode = mode;
        track.control = emulator::IsData(mode) ? emulator::control::Data : 0;
        track.pregapStart = track.start = lba;
        track.end = lba + blocks;
        const auto format = emulator::IsData(mode) ? emulator::SectorFormat::Mode1Data : emulator::SectorFormat::Audio;
        disc->extents.push_back(emulator::Extent{lba, blocks, format, pattern, lba});
        disc->tracks.push_back(track);
        lba = track.end;
    }
    disc->sessions.push_back(emulator::Session{1, lba, 0x00});
    disc->capacity = lba;
    return disc;
}

std::shared_ptr<emulator::Disc> BlankCdR()
{
    auto disc = std::make_shared<emulator::Disc>();
    disc->media = emulator::MediaKind::BlankCdR;
    disc->status = emulator::DiscStatus::Empty;
    return disc;
}

std::vector<std::uint8_t> AudioBytes(const emulator::Disc& disc, std::int32_t lba, std::int32_t count)
{
    constexpr std::size_t Size = 2352;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * Size);
    for (std::int32_t i = 0; i < count; ++i) {
        const emulator::Extent* extent = disc.FindExtent(lba + i);
        if (extent && extent->format == emulator::SectorFormat::Audio)
            extent->source->Read(extent->sourceSector + (lba + i - extent->start),
                                 std::span(bytes).subspan(static_cast<std::size_t>(i) * Size, Size));
    }
    return bytes;
}

QString WavProblem(const std::string& path, const std::vector<std::uint8_t>& audio)
{
    const std::vector<std::uint8_t> file = test::ReadBytes(path);
    if (file.size() != audio.size() + 44)
        return QStringLiteral("%1 has %2 bytes").arg(QString::fromStdString(path)).arg(file.size());
    if (Le32(file, 4) != file.size() - 8 || Le32(file, 40) != audio.size())
        return QStringLiteral("the header's sizes disagree with the file");
    return std::equal(audio.begin(), audio.end(), file.begin() + 44) ? QString() : QStringLiteral("other audio");
}

std::unique_ptr<QTimer> AnswerRipOptions(QWidget* options, bool flac, bool secure)
{
    return Repeat([=] {
        if (options->isVisible()) {
            options->findChild<QComboBox*>(QStringLiteral("ComboFormat"))->setCurrentIndex(flac ? 1 : 0);
            options->findChild<QRadioButton*>(secure ? QStringLiteral("OptionSecure") : QStringLiteral("OptionBurst"))
                ->setChecked(true);
            QTest::mouseClick(options->findChild<QPushButton*>(QStringLiteral("CommandOK")), Qt::LeftButton);
        }
        return false;
    });
}

std::unique_ptr<QTimer> Repeat(const std::function<bool()>& act)
{
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [timer = timer.get(), act] {
        if (act())
            timer->stop();
    });
    timer->start(2);
    return timer;
}

std::unique_ptr<QTimer> WhenModal(const std::function<void(QWidget*)>& act)
{
    return Repeat([act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible())
            act(modal);
        return modal && modal->isVisible();
    });
}

void ClickRow(ListView* list, int row, Qt::KeyboardModifiers modifiers, bool twice)
{
    auto* tree = qobject_cast<QTreeWidget*>(list->ControlHwnd());
    const QRect rect = tree->visualItemRect(tree->topLevelItem(row));
    const QPoint at(rect.left() + 8, rect.center().y());
    if (twice)
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, modifiers, at);
    else
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, modifiers, at);
}

std::vector<QStringList> Rows(ListView* list)
{
    std::vector<QStringList> rows(static_cast<std::size_t>(list->ListItems()->Count()));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < list->Count(); ++c)
            rows[r] << list->ListItems()->Item(static_cast<int>(r))->Text(c);
    return rows;
}

} // namespace tolvane::apptest
