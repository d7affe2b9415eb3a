#include "app/CommonDialogs.h"

#include "util/ByteOrder.h"
#include "controls/SystemColors.h"
#include "util/Colors.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStorageInfo>

#include <algorithm>
#include <utility>

namespace tolvane {

namespace {

constexpr int CustomColorCount = 16;
constexpr qsizetype CustomColorBytes = qsizetype{CustomColorCount} * 4;

// Texts coming back from a dialog end at their first NUL, as they would in a C buffer.
QString Cut(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QColor FromColorRef(std::int32_t value)
{
    return OleColor(static_cast<std::uint32_t>(value));
}

std::int32_t ToColorRef(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return static_cast<std::int32_t>(Colors::Rgb(static_cast<std::uint8_t>(rgb.red()),
                                                 static_cast<std::uint8_t>(rgb.green()),
                                                 static_cast<std::uint8_t>(rgb.blue())));
}

std::array<QColor, CustomColorCount> DecodeCustomColors(const QByteArray& text)
{
    std::array<std::uint8_t, CustomColorBytes> bytes{};
    for (qsizetype i = 0; i < std::min(text.size(), CustomColorBytes); ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(text[i]);
    }
    std::array<QColor, CustomColorCount> colors;
    for (std::size_t i = 0; i < colors.size(); ++i) {
        colors[i] = FromColorRef(static_cast<std::int32_t>(Le32(bytes, i * 4)));
    }
    return colors;
}

QByteArray EncodeCustomColors(const std::array<QColor, CustomColorCount>& colors)
{
    std::array<std::uint8_t, CustomColorBytes> bytes{};
    for (std::size_t i = 0; i < colors.size(); ++i) {
        PutLe32(bytes, i * 4, static_cast<std::uint32_t>(ToColorRef(colors[i])));
    }
    QByteArray text(CustomColorBytes, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[static_cast<qsizetype>(i)] = static_cast<char>(bytes[i]);
    }
    return text;
}

// Turns the NUL-separated description/pattern pairs into Qt name filters: "Wave files (*.wav)"
// with "*.wav" becomes "Wave files (*.wav) (*.wav)". The Qt dialog hides the trailing pattern
// group, so the user reads the description as written. "*.*" matches every file, also those
// without a dot, as it does in the system dialogs. An incomplete last pair is dropped.
QStringList NameFilters(const QString& filter)
{
    QStringList filters;
    const QStringList parts = filter.split(QChar(0));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QStringList patterns;
        for (const QString& piece : parts[i + 1].split(QLatin1Char(';'))) {
            const QString pattern = piece.trimmed();
            if (!pattern.isEmpty()) {
                patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
            }
        }
        if (patterns.isEmpty()) {
            patterns << QStringLiteral("*");
        }
        filters << parts[i] + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

std::shared_ptr<DialogBackend>& DefaultBackendSlot()
{
    static std::shared_ptr<DialogBackend> backend;
    return backend;
}

// --- Qt's printer settings in device-mode numbers ---

std::int32_t DuplexNumber(QPrinter::DuplexMode mode)
{
    switch (mode) {
    case QPrinter::DuplexNone:
        return 1;
    case QPrinter::DuplexAuto:
    case QPrinter::DuplexLongSide:
        return 2;
    case QPrinter::DuplexShortSide:
        return 3;
    }
    return 0;
}

// DMBIN_* by QPrinter::PaperSource: Qt numbers the same bins in the same order from 0, except
// that the two Windows numbers 12 and 13 are not in Qt.
constexpr std::pair<QPrinter::PaperSource, std::int32_t> Bins[] = {
    {QPrinter::OnlyOne, 1},      {QPrinter::Lower, 2},          {QPrinter::Middle, 3},
    {QPrinter::Manual, 4},       {QPrinter::Envelope, 5},       {QPrinter::EnvelopeManual, 6},
    {QPrinter::Auto, 7},         {QPrinter::Tractor, 8},        {QPrinter::SmallFormat, 9},
    {QPrinter::LargeFormat, 10}, {QPrinter::LargeCapacity, 11}, {QPrinter::Cassette, 14},
    {QPrinter::FormSource, 15},  {QPrinter::CustomSource, 256},
};

std::int32_t BinNumber(QPrinter::PaperSource source)
{
    const auto* bin =
        std::find_if(std::begin(Bins), std::end(Bins), [source](const auto& b) { return b.first == source; });
    return bin == std::end(Bins) ? 0 : bin->second;
}

void ReadPrinter(const QPrinter& printer, PrinterSettings& settings)
{
    settings.printerName = printer.printerName();
    settings.port = printer.outputFileName();
    settings.driverName = QPrinterInfo(printer).makeAndModel();
    settings.copies = static_cast<std::int16_t>(std::clamp(printer.copyCount(), 0, 32767));
    settings.duplex = DuplexNumber(printer.duplex());
    const QPageLayout layout = printer.pageLayout();
    settings.orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
    settings.paperSize = layout.pageSize().windowsId();
    settings.paperSource = BinNumber(printer.paperSource());
    settings.printQuality = printer.resolution();
}

void ApplyPrinter(const PrinterSettings& settings, QPrinter& printer)
{
    if (!settings.printerName.isEmpty()) {
        printer.setPrinterName(settings.printerName);
    }
    if (!settings.port.isEmpty()) {
        printer.setOutputFileName(settings.port);
    }
    if (settings.copies > 0) {
        printer.setCopyCount(settings.copies);
    }
    if (settings.duplex >= 1 && settings.duplex <= 3) {
        static constexpr QPrinter::DuplexMode Modes[] = {QPrinter::DuplexNone, QPrinter::DuplexLongSide,
                                                         QPrinter::DuplexShortSide};
        printer.setDuplex(Modes[settings.duplex - 1]);
    }
    if (settings.orientation == 1 || settings.orientation == 2) {
        printer.setPageOrientation(settings.orientation == 2 ? QPageLayout::Landscape
                                                             : QPageLayout::Portrait);
    }
    if (const QPageSize::PageSizeId id = QPageSize::id(settings.paperSize); id != QPageSize::Custom) {
        printer.setPageSize(QPageSize(id));
    }
    const auto* bin = std::find_if(std::begin(Bins), std::end(Bins),
                                   [&settings](const auto& b) { return b.second == settings.paperSource; });
    if (bin != std::end(Bins)) {
        printer.setPaperSource(bin->first);
    }
    if (settings.printQuality > 0) {
        printer.setResolution(settings.printQuality);
    }
}

// Printers are paint devices: without a GUI application there are none to ask.
bool HasGuiApplication()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

void SetUpFileDialog(QFileDialog& dialog, const FileDialogRequest& request)
{
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!request.nameFilters.isEmpty()) {
        dialog.setNameFilters(request.nameFilters);
        dialog.selectNameFilter(request.nameFilters.value(std::max(request.filterIndex, 0)));
    }
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
}

bool RunFileDialog(QFileDialog& dialog, FileDialogRequest& request)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    request.fileNames = dialog.selectedFiles();
    request.fileName = request.fileNames.front();
    request.filterIndex = static_cast<int>(request.nameFilters.indexOf(dialog.selectedNameFilter()));
    return true;
}

} // namespace

// --- Qt's dialogs ---

QString QtDialogBackend::ChooseFolder(QWidget* owner, const QString& title, const QString& start)
{
    return QFileDialog::getExistingDirectory(owner, title, start);
}

bool QtDialogBackend::ChooseOpenFile(QWidget* owner, FileDialogRequest& request)
{
    QFileDialog dialog(owner, request.title, request.folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontResolveSymlinks);
    SetUpFileDialog(dialog, request);
    return RunFileDialog(dialog, request);
}

bool QtDialogBackend::ChooseSaveFile(QWidget* owner, FileDialogRequest& request)
{
    // QFileDialog asks before overwriting unless told not to.
    QFileDialog dialog(owner, request.title, request.folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    SetUpFileDialog(dialog, request);
    return RunFileDialog(dialog, request);
}

bool QtDialogBackend::ChooseColor(QWidget* owner, QColor& color, std::array<QColor, 16>& customColors)
{
    for (std::size_t i = 0; i < customColors.size(); ++i) {
        QColorDialog::setCustomColor(static_cast<int>(i), customColors[i]);
    }
    const QColor chosen = QColorDialog::getColor(color, owner);
    for (std::size_t i = 0; i < customColors.size(); ++i) {
        customColors[i] = QColorDialog::customColor(static_cast<int>(i));
    }
    if (!chosen.isValid()) {
        return false;
    }
    color = chosen;
    return true;
}

bool QtDialogBackend::ChooseFont(QWidget* owner, QFont& font, QColor&)
{
    // Qt's font dialog offers no colour; the colour stays as it came.
    bool chosen = false;
    const QFont result = QFontDialog::getFont(&chosen, font, owner);
    if (chosen) {
        font = result;
    }
    return chosen;
}

bool QtDialogBackend::DefaultPrinter(PrinterSettings& settings)
{
    if (!HasGuiApplication()) {
        return false;
    }
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        return false;
    }
    const QPrinter printer(info);
    ReadPrinter(printer, settings);
    return true;
}

PrintSetupResult QtDialogBackend::ChoosePrinter(QWidget* owner, PrinterSettings& settings)
{
    if (!HasGuiApplication()) {
        return PrintSetupResult::Failed;
    }
    QPrinter printer;
    ApplyPrinter(settings, printer);
    if (!printer.isValid()) {
        return PrintSetupResult::Failed;
    }
    // A setup, not a print job: no page range to choose.
    QPrintDialog dialog(&printer, owner);
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize |
                      QAbstractPrintDialog::PrintCollateCopies);
    if (dialog.exec() != QDialog::Accepted) {
        return PrintSetupResult::Cancelled;
    }
    ReadPrinter(printer, settings);
    return PrintSetupResult::Accepted;
}

// --- CommonDialogs ---

CommonDialogs::CommonDialogs()
    : customColors_(CustomColorBytes, '\0'), fontName_(QStringLiteral("MS Sans Serif"))
{
    PrinterSettings settings;
    if (DefaultBackend()->DefaultPrinter(settings)) {
        printer_ = settings;
    }
}

void CommonDialogs::SetDefaultBackend(std::shared_ptr<DialogBackend> backend)
{
    DefaultBackendSlot() = std::move(backend);
}

std::shared_ptr<DialogBackend> CommonDialogs::DefaultBackend()
{
    std::shared_ptr<DialogBackend>& backend = DefaultBackendSlot();
    if (!backend) {
        backend = std::make_shared<QtDialogBackend>();
    }
    return backend;
}

DialogBackend& CommonDialogs::Backend() const
{
    return backend_ ? *backend_ : *DefaultBackend();
}

std::int16_t CommonDialogs::ShowBrowse()
{
    // A folder that does not exist (or is no folder) preselects nothing.
    QString start = Cut(folderName_);
    if (!QFileInfo(start).isDir()) {
        start.clear();
    }
    const QString chosen = Cut(Backend().ChooseFolder(owner_, title_, start));
    if (chosen.isEmpty()) {
        return -1;
    }
    const QStorageInfo volume(chosen);
    if (!volume.isValid() || !volume.isReady()) {
        return -2;
    }
    folderName_ = QDir::toNativeSeparators(chosen);
    return 0;
}

void CommonDialogs::FillFileRequest(FileDialogRequest& request) const
{
    request.title = title_;
    request.folder = Cut(folderName_);
    request.fileName = Cut(fileName_);
    request.nameFilters = NameFilters(filter_);
    if (!request.nameFilters.isEmpty()) {
        // An index outside the list starts at the first filter.
        const bool inRange = filterIndex_ >= 1 && filterIndex_ <= request.nameFilters.size();
        request.filterIndex = inRange ? filterIndex_ - 1 : 0;
    }
}

void CommonDialogs::TakeFileChoice(const FileDialogRequest& request)
{
    fileNames_.clear();
    for (const QString& name : request.fileNames) {
        fileNames_ << QDir::toNativeSeparators(Cut(name));
    }
    if (fileNames_.size() > 1) {
        // Several files: the system reports their folder as the file name.
        fileName_ = QDir::toNativeSeparators(QFileInfo(fileNames_.front()).path());
        fileTitle_.clear();
    } else {
        fileName_ = QDir::toNativeSeparators(Cut(request.fileName));
        fileTitle_ = QFileInfo(fileName_).fileName();
        if (fileNames_.isEmpty()) {
            fileNames_ << fileName_;
        }
    }
    if (request.filterIndex >= 0 && request.filterIndex < request.nameFilters.size()) {
        filterIndex_ = static_cast<std::uint8_t>(std::min(request.filterIndex + 1, 255));
    }
}

bool CommonDialogs::ShowSave()
{
    FileDialogRequest request;
    FillFileRequest(request);
    request.defaultSuffix = fileExtension_;
    if (!Backend().ChooseSaveFile(owner_, request) || Cut(request.fileName).isEmpty()) {
        return false;
    }
    TakeFileChoice(request);
    return true;
}

bool CommonDialogs::ShowOpen()
{
    FileDialogRequest request;
    FillFileRequest(request);
    request.multiSelect = multiSelect_;
    if (!Backend().ChooseOpenFile(owner_, request) || Cut(request.fileName).isEmpty()) {
        return false;
    }
    TakeFileChoice(request);
    return true;
}

bool CommonDialogs::ShowColor()
{
    QColor color = FromColorRef(color_);
    std::array<QColor, CustomColorCount> custom = DecodeCustomColors(customColors_);
    if (!Backend().ChooseColor(owner_, color, custom)) {
        return false;
    }
    color_ = ToColorRef(color);
    customColors_ = EncodeCustomColors(custom);
    return true;
}

bool CommonDialogs::ShowFont()
{
    QFont font(Cut(fontName_));
    if (fontSize_ > 0) {
        font.setPointSize(fontSize_);
    }
    font.setBold(fontBold_);
    font.setItalic(fontItalic_);
    font.setUnderline(fontUnderline_);
    font.setStrikeOut(fontStrikeout_);
    QColor color = FromColorRef(color_);
    if (!Backend().ChooseFont(owner_, font, color)) {
        return false;
    }
    const qreal points = font.pointSizeF();
    if (points > 0) {
        fontSize_ = qRound(points);
    }
    fontBold_ = font.weight() >= QFont::Bold;
    fontItalic_ = font.italic();
    fontUnderline_ = font.underline();
    fontStrikeout_ = font.strikeOut();
    fontName_ = Cut(font.family());
    color_ = ToColorRef(color);
    return true;
}

std::int16_t CommonDialogs::ShowPrint()
{
    PrinterSettings settings = printer_;
    switch (Backend().ChoosePrinter(owner_, settings)) {
    case PrintSetupResult::Accepted:
        printer_ = settings;
        return 0;
    case PrintSetupResult::Cancelled:
        return -1;
    case PrintSetupResult::Failed:
        break;
    }
    return -2;
}

} // namespace tolvane
