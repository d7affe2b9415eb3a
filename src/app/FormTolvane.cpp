#include "app/FormTolvane.h"

#include "app/AppInfo.h"
#include "app/Background.h"
#include "controls/InfoFrame.h"
#include "controls/ListView.h"
#include "controls/StatusBar.h"
#include "controls/SystemMenu.h"
#include "device/OpticalDrives.h"
#include "disc/AccurateRip.h"
#include "disc/Ctdb.h"
#include "disc/DiscIds.h"
#include "disc/OpticalDisk.h"
#include "disc/TrackTable.h"
#include "net/Databases.h"
#include "rip/DriveOffsets.h"
#include "rip/SecureReader.h"
#include "util/FileSystem.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace tolvane::app {

namespace {

const QStringList Buttons = {QStringLiteral("CommandSelectdevice"), QStringLiteral("CommandRefresh"),
                             QStringLiteral("CommandInformation"),  QStringLiteral("CommandEject"),
                             QStringLiteral("CommandLoad"),         QStringLiteral("CommandExtract"),
                             QStringLiteral("CommandExit")};

QStringList RequiredControls()
{
    return Buttons + QStringList{QStringLiteral("InfoFrameTolvane"), QStringLiteral("ListViewTracks"),
                                 QStringLiteral("StatusBarStatus"), QStringLiteral("SystemMenuTolvane")};
}

constexpr int VirtualKeyReturn = 0x0D;

} // namespace

FormTolvane::FormTolvane(Session& session, QWidget* parent)
    : Form(QStringLiteral("FormTolvane"), RequiredControls(), parent), session_(session)
{
    setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    // The list takes what the window gains over its form's size; the buttons keep their places.
    designSize_ = size();
    listDesignSize_ = Control<ListView>(QStringLiteral("ListViewTracks"))->size();
    selectDevice_ = std::make_unique<FormSelectDevice>(this);
    information_ = std::make_unique<FormInformation>(this);
    extracting_ = std::make_unique<FormExtracting>(this);
    ripOptions_ = std::make_unique<FormRipOptions>(this);
    about_ = std::make_unique<FormAbout>(this);
    dialogs_ = std::make_unique<CommonDialogs>();

    auto* frame = Control<InfoFrame>(QStringLiteral("InfoFrameTolvane"));
    frame->SetIcon(windowIcon());
    auto* menu = Control<SystemMenu>(QStringLiteral("SystemMenuTolvane"));
    frame->SetSystemMenu(menu->Menu());
    connect(menu, &SystemMenu::ItemClick, this, [this](SystemMenuItem* item) { ShowAbout(item->Text()); });

    auto button = [this](const QString& name) { return Control<QPushButton>(name); };
    connect(button(QStringLiteral("CommandSelectdevice")), &QPushButton::clicked, this,
            &FormTolvane::SelectDeviceClicked);
    connect(button(QStringLiteral("CommandRefresh")), &QPushButton::clicked, this,
            &FormTolvane::RefreshClicked);
    connect(button(QStringLiteral("CommandInformation")), &QPushButton::clicked, this,
            &FormTolvane::InformationClicked);
    connect(button(QStringLiteral("CommandEject")), &QPushButton::clicked, this, &FormTolvane::EjectClicked);
    connect(button(QStringLiteral("CommandLoad")), &QPushButton::clicked, this, &FormTolvane::LoadClicked);
    connect(button(QStringLiteral("CommandExtract")), &QPushButton::clicked, this,
            &FormTolvane::ExtractClicked);
    connect(button(QStringLiteral("CommandExit")), &QPushButton::clicked, this, &QWidget::close);

    auto* list = Control<ListView>(QStringLiteral("ListViewTracks"));
    connect(list, &ListView::ItemClick, this, [this](ListItem* item, int) {
        if (item->Text(1) != QLatin1String("Audio")) {
            ShowMessage(this, QStringLiteral("Track is not in audio mode"), QMessageBox::Warning);
            item->SetSelected(false);
        }
        UpdateSelectionState();
    });
    connect(list, &ListView::Click, this, [this](int) {
        if (Control<ListView>(QStringLiteral("ListViewTracks"))->ListItems()->Count() > 0)
            UpdateSelectionState();
    });
    connect(list, &ListView::KeyDown, this, [this](int keyCode) {
        if (keyCode == VirtualKeyReturn &&
            Control<ListView>(QStringLiteral("ListViewTracks"))->ListItems()->SelectedCount() > 0)
            ExtractClicked();
    });
}

FormTolvane::~FormTolvane()
{
    if (disk_)
        disk_->Destroy();
}

bool FormTolvane::Start()
{
    QApplication::setApplicationDisplayName(ApplicationTitle());
    drives_ = std::make_unique<tolvane::OpticalDrives>(*session_.platform);
    if (drives_->Count() == 0) {
        ShowMessage(this, QStringLiteral("No CD/DVD drives found or ASPI/SPTI not available"),
                    QMessageBox::Critical);
        return false;
    }
    selectDevice_->SetOpticalDrives(drives_.get());

    auto* list = Control<ListView>(QStringLiteral("ListViewTracks"));
    savedWidths_.clear();
    for (int i = 0; i < list->Count(); ++i)
        savedWidths_.push_back(list->Column(i)->ActualWidth());

    disk_ = std::make_unique<tolvane::OpticalDisk>(*session_.platform, session_.clock);
    OpenDisk(selectDevice_->Device());
    selectDevice_->SetDevice(0);

    dialogs_->SetFolderName(QCoreApplication::applicationDirPath());
    dialogs_->SetOwnerHwnd(this);
    ListTracks(false);
    return true;
}

void FormTolvane::OpenDisk(int index)
{
    const OpticalDriveItem* drive = drives_->Item(static_cast<std::int16_t>(index));
    if (!drive || !disk_->Create(drive->Letter()))
        ShowMessage(this, QStringLiteral("Error accessing device"), QMessageBox::Warning);
}

QString FormTolvane::CountText() const
{
    const ListItems* items = Control<ListView>(QStringLiteral("ListViewTracks"))->ListItems();
    const int count = items->Count();
    return QStringLiteral("%1 %2 / %3 selected")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("track") : QStringLiteral("tracks"))
        .arg(items->SelectedCount());
}

void FormTolvane::ListTracks(bool read)
{
    Control<QPushButton>(QStringLiteral("CommandExtract"))->setEnabled(false);
    auto* list = Control<ListView>(QStringLiteral("ListViewTracks"));
    for (int i = 0; i < list->Count() && i < static_cast<int>(savedWidths_.size()); ++i)
        list->Column(i)->SetActualWidth(savedWidths_[static_cast<std::size_t>(i)]);
    list->SetEnabled(read);
    list->ListItems()->Clear();

    auto* status = Control<StatusBar>(QStringLiteral("StatusBarStatus"));
    const OpticalDriveItem* drive = drives_->Item(selectDevice_->Device());
    const QString letter = drive ? QString::fromStdString(drive->Letter()) : QString();
    const QString interface = drive ? QString::fromStdString(drive->Interface()) : QString();
    status->Panel(0)->SetText(QStringLiteral("Letter: ") + letter + QLatin1Char(' '));
    status->Panel(1)->SetText(QStringLiteral("Interface: ") + interface + QLatin1Char(' '));
    status->Panel(2)->SetText(QString());
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (!read)
        return;

    bool present = false;
    RunInBackground([&] { present = disk_->Check(); });
    if (!present) {
        ShowMessage(this, QStringLiteral("Media not present"), QMessageBox::Warning);
        return;
    }
    bool ok = false;
    RunInBackground([&] { ok = disk_->Read(); });
    if (!ok) {
        ShowMessage(this, QStringLiteral("Error reading tracks"), QMessageBox::Warning);
        return;
    }
    for (const int n : TocTracks(*disk_)) {
        const std::vector<std::string> cells = TrackCells(*disk_, n);
        const int row = list->ListItems()->Add(QString::fromStdString(cells[0]));
        ListItem* item = list->ListItems()->Item(row);
        for (int c = 1; c < static_cast<int>(cells.size()); ++c)
            item->SetText(c, QString::fromStdString(cells[static_cast<std::size_t>(c)]));
    }
    // Room for the vertical scroll bar.
    if (list->ListItems()->Count() > list->GetVisibleCount() && list->Count() > 0) {
        tolvane::Column* last = list->Column(list->Count() - 1);
        last->SetActualWidth(last->ActualWidth() - 16);
    }
    status->Panel(2)->SetText(CountText());
    if (list->ListItems()->Count() == 0)
        ShowMessage(this, QStringLiteral("No tracks found"), QMessageBox::Information);
}

void FormTolvane::UpdateSelectionState()
{
    const ListItems* items = Control<ListView>(QStringLiteral("ListViewTracks"))->ListItems();
    Control<QPushButton>(QStringLiteral("CommandExtract"))->setEnabled(items->SelectedCount() > 0);
    Control<StatusBar>(QStringLiteral("StatusBarStatus"))->Panel(2)->SetText(CountText());
}

void FormTolvane::SelectDeviceClicked()
{
    WaitCursor wait;
    selectDevice_->SetOpticalDrives(drives_.get());
    selectDevice_->exec();
    repaint();
    if (!selectDevice_->OK())
        return;
    disk_->Destroy();
    OpenDisk(selectDevice_->Device());
    ListTracks(false);
}

void FormTolvane::RefreshClicked()
{
    WaitCursor wait;
    ListTracks(true);
}

void FormTolvane::InformationClicked()
{
    WaitCursor wait;
    information_->SetOpticalDisk(disk_.get());
    information_->exec();
    repaint();
}

void FormTolvane::EjectClicked()
{
    WaitCursor wait;
    ListTracks(false);
    RunInBackground([this] { disk_->Eject(); });
}

void FormTolvane::LoadClicked()
{
    WaitCursor wait;
    ListTracks(false);
    RunInBackground([this] { disk_->Load(); });
}

void FormTolvane::ExtractClicked()
{
    dialogs_->SetTitle(dialogs_->FolderName());
    const int result = dialogs_->ShowBrowse();
    if (result == -2) {
        repaint();
        ShowMessage(this, QStringLiteral("Error accessing drive"), QMessageBox::Warning);
        return;
    }
    if (result != 0)
        return;
    if (!choicesAsked_) {
        // The drive's offset from the user's table, the first time; later the last answers.
        rip::OffsetTable table;
        std::string error;
        const OpticalDriveItem* drive = drives_->Item(selectDevice_->Device());
        if (drive && rip::LoadOffsetTable(rip::DefaultOffsetTablePath(), table, error))
            choices_.offset = rip::FindOffset(table, drive->Manufacturer(), drive->Name()).value_or(0);
    }
    if (!ripOptions_->Ask(choices_))
        return;
    choicesAsked_ = true;
    WaitCursor wait;
    repaint();
    extracting_->SetFolderName(
        QString::fromStdString(FileSystem::AddFolderBackslash(dialogs_->FolderName().toStdString())));
    // One secure reader for the run: it learns once whether the drive gives C2 pointers.
    const ids::TocLayout layout = ids::LayoutOf(*disk_);
    rip::Settings settings;
    settings.offset = choices_.offset;
    rip::SecureReader reader(disk_->Transport(), ids::AudioEnd(layout), settings);
    extracting_->SetChoices(choices_, &reader);
    std::vector<int> audio;
    for (const auto& t : layout.tracks)
        if (t.audio)
            audio.push_back(t.number);
    std::vector<CopiedTrack> copied;
    const ListItems* items = Control<ListView>(QStringLiteral("ListViewTracks"))->ListItems();
    for (int i = 0; i < items->Count(); ++i) {
        ListItem* item = items->Item(i);
        if (!item->Selected())
            continue;
        extracting_->SetOpticalDisk(disk_.get());
        // The row's own number: the first track of a disc need not be 1.
        const int n = item->Text(0).toInt();
        extracting_->SetTrack(static_cast<std::uint8_t>(n));
        const auto at = std::find(audio.begin(), audio.end(), n);
        extracting_->SetPlace(at == audio.begin(), at != audio.end() && at + 1 == audio.end(),
                              ctdb::AudioSamples(layout));
        extracting_->exec();
        repaint();
        if (extracting_->LastResult().copied)
            copied.push_back({n, static_cast<std::size_t>(at - audio.begin()), extracting_->LastResult()});
    }
    extracting_->SetChoices(choices_, nullptr);
    if (!copied.empty())
        ShowMessage(this, RipSummary(copied), QMessageBox::Information);
}

QString FormTolvane::RipSummary(const std::vector<CopiedTrack>& copied)
{
    // One request for the disc; offline the copies stand and the message says so.
    const auto id = ids::IdentifiersOf(*disk_).accurateRip;
    net::AccurateRipLookup lookup;
    if (id) {
        WaitCursor wait;
        RunInBackground([&] {
            net::HttpClient http;
            lookup = net::FetchAccurateRip(http, net::Services::FromEnvironment(), *id);
        });
    }
    QStringList lines;
    for (const auto& [n, index, result] : copied) {
        QString line = QStringLiteral("Track %1: ").arg(n);
        if (!id || lookup.state == net::AccurateRipLookup::State::Failed)
            line += QStringLiteral("not checked");
        else
            line += QString::fromStdString(accuraterip::Text(
                accuraterip::Check(lookup.response, index, result.sums.v1, result.sums.v2)));
        if (choices_.secure) {
            line += QStringLiteral("; %1 sectors read again").arg(result.read.rereadSectors);
            if (!result.read.suspicious.empty())
                line += QStringLiteral(", %1 suspicious").arg(result.read.suspicious.size());
        }
        lines << line;
    }
    if (id && lookup.state == net::AccurateRipLookup::State::Failed)
        lines
            << QStringLiteral("AccurateRip could not be asked: %1").arg(QString::fromStdString(lookup.error));
    return lines.join(QLatin1Char('\n'));
}

void FormTolvane::ShowAbout(const QString& entry)
{
    {
        WaitCursor wait;
        about_->SetApplication(QStringLiteral("%1 %2.%3")
                                   .arg(QString::fromUtf8(ProductName))
                                   .arg(VersionMajor)
                                   .arg(VersionMinor));
        about_->SetCopyright(QString::fromUtf8(LegalCopyright));
        about_->SetWebsite(QString::fromUtf8(Website));
        about_->SetIcon2(windowIcon());
        QString caption = entry;
        about_->setWindowTitle(caption.remove(QLatin1Char('&')).remove(QStringLiteral("...")));
    }
    about_->exec();
    repaint();
}

void FormTolvane::resizeEvent(QResizeEvent* event)
{
    Form::resizeEvent(event);
    auto* list = Control<ListView>(QStringLiteral("ListViewTracks"));
    if (!list || designSize_.isEmpty())
        return;
    list->resize(std::max(50, listDesignSize_.width() + width() - designSize_.width()),
                 std::max(50, listDesignSize_.height() + height() - designSize_.height()));
}

void FormTolvane::closeEvent(QCloseEvent* event)
{
    if (disk_)
        disk_->Destroy();
    event->accept();
    QDialog::done(Accepted);
}

void FormTolvane::keyPressEvent(QKeyEvent* event)
{
    // The main window is no dialog: Escape does not close it.
    if (event->key() == Qt::Key_Escape)
        return;
    Form::keyPressEvent(event);
}

} // namespace tolvane::app
