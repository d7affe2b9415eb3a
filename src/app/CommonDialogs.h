// The common dialogs (folder, open, save, colour, font, print setup) behind plain properties: the
// caller sets properties, calls one of the Show operations and reads the results back from the
// same properties. An instance keeps its properties between calls, so a second ShowBrowse starts
// at the folder the first one chose and FilterIndex remembers the last filter.
//
// The dialogs themselves come from a DialogBackend: Qt's dialogs by default, a scripted one in
// tests (SetDefaultBackend reaches the instances that windows own).
#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>

namespace tolvane {

// What a file dialog starts with, and what it ends with when the user chose.
struct FileDialogRequest {
    QString title;
    QString folder;           // where the dialog starts
    QString fileName;         // in: the name or path offered; out: the chosen path
    QStringList fileNames;    // out: every chosen path
    QStringList nameFilters;  // "Description (*.a *.b)"
    int filterIndex = -1;     // 0-based, in and out; -1 without filters
    QString defaultSuffix;    // save: added the way the dialog adds it to a name without one
    bool multiSelect = false; // open: several files may be chosen
};

// Printer settings numbered as in a Windows device mode: orientation 1 portrait / 2 landscape,
// paper sizes DMPAPER_*, paper sources DMBIN_*, duplex 1 simplex / 2 long edge / 3 short edge,
// print quality in dots per inch; 0 where nothing is known.
struct PrinterSettings {
    QString printerName;
    QString port;       // the output file when printing to a file
    QString driverName; // make and model
    std::int16_t copies = 0;
    std::int32_t duplex = 0;
    std::int32_t orientation = 0;
    std::int32_t paperSize = 0;
    std::int32_t paperSource = 0;
    std::int32_t printQuality = 0;
};

enum class PrintSetupResult { Accepted, Cancelled, Failed };

class DialogBackend {
public:
    virtual ~DialogBackend() = default;

    // The chosen folder, empty when the user cancelled. An empty `start` preselects nothing.
    virtual QString ChooseFolder(QWidget* owner, const QString& title, const QString& start) = 0;
    // True when the user chose; `request` then holds the choice.
    virtual bool ChooseOpenFile(QWidget* owner, FileDialogRequest& request) = 0;
    virtual bool ChooseSaveFile(QWidget* owner, FileDialogRequest& request) = 0;
    // True when a colour was chosen. The custom colours come back as the user left them.
    virtual bool ChooseColor(QWidget* owner, QColor& color, std::array<QColor, 16>& customColors) = 0;
    virtual bool ChooseFont(QWidget* owner, QFont& font, QColor& color) = 0;
    // The system's default printer; false when there is none.
    virtual bool DefaultPrinter(PrinterSettings& settings) = 0;
    virtual PrintSetupResult ChoosePrinter(QWidget* owner, PrinterSettings& settings) = 0;
};

// Qt's dialogs: QFileDialog, QColorDialog, QFontDialog, QPrintDialog.
class QtDialogBackend : public DialogBackend {
public:
    QString ChooseFolder(QWidget* owner, const QString& title, const QString& start) override;
    bool ChooseOpenFile(QWidget* owner, FileDialogRequest& request) override;
    bool ChooseSaveFile(QWidget* owner, FileDialogRequest& request) override;
    bool ChooseColor(QWidget* owner, QColor& color, std::array<QColor, 16>& customColors) override;
    bool ChooseFont(QWidget* owner, QFont& font, QColor& color) override;
    bool DefaultPrinter(PrinterSettings& settings) override;
    PrintSetupResult ChoosePrinter(QWidget* owner, PrinterSettings& settings) override;
};

class CommonDialogs {
public:
    // Takes the default printer's settings when there is one.
    CommonDialogs();

    // The backend of every instance that has none of its own; nullptr goes back to Qt's dialogs.
    static void SetDefaultBackend(std::shared_ptr<DialogBackend> backend);
    static std::shared_ptr<DialogBackend> DefaultBackend();
    // This instance's own backend; nullptr follows the default.
    void SetBackend(std::shared_ptr<DialogBackend> backend) { backend_ = std::move(backend); }

    // 0: a folder was chosen and its volume answers (FolderName holds it, with the system's
    // separators); -1: cancelled; -2: the chosen folder's volume cannot be queried.
    std::int16_t ShowBrowse();
    // True when a colour was chosen (Color, CustomColors).
    bool ShowColor();
    // True when a font was chosen (the Font properties and Color).
    bool ShowFont();
    // True when a file was chosen (FileName, FileTitle, FilterIndex). When several files are
    // chosen, FileName is their folder, FileTitle is empty and FileNames lists them.
    bool ShowOpen();
    // 0: settings accepted; -1: cancelled; -2: the printer could not be set up.
    std::int16_t ShowPrint();
    // True when a name was chosen (FileName, FileTitle, FilterIndex). The dialog asks before
    // overwriting a file; FileExtension is added only as the dialog adds a default suffix.
    bool ShowSave();

    // Colours are RGB values 0x00BBGGRR; a system colour (high bit set) starts the dialogs at
    // its translation.
    std::int32_t Color() const { return color_; }
    void SetColor(std::int32_t value) { color_ = value; }
    // 16 colours of 4 bytes each (0x00BBGGRR, least significant byte first).
    QByteArray CustomColors() const { return customColors_; }
    void SetCustomColors(const QByteArray& value) { customColors_ = value; }
    QString FileExtension() const { return fileExtension_; }
    void SetFileExtension(const QString& value) { fileExtension_ = value; }
    QString FileName() const { return fileName_; }
    void SetFileName(const QString& value) { fileName_ = value; }
    QStringList FileNames() const { return fileNames_; }
    QString FileTitle() const { return fileTitle_; }
    // Pairs of description and pattern (patterns separated by ";"), each ended by a NUL
    // character, the list ended by one more: "Wave files (*.wav)\0*.wav\0All files\0*.*\0\0".
    QString Filter() const { return filter_; }
    void SetFilter(const QString& value) { filter_ = value; }
    // 1-based.
    std::uint8_t FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(std::uint8_t value) { filterIndex_ = value; }
    QString FolderName() const { return folderName_; }
    void SetFolderName(const QString& value) { folderName_ = value; }
    bool FontBold() const { return fontBold_; }
    void SetFontBold(bool value) { fontBold_ = value; }
    bool FontItalic() const { return fontItalic_; }
    void SetFontItalic(bool value) { fontItalic_ = value; }
    QString FontName() const { return fontName_; }
    void SetFontName(const QString& value) { fontName_ = value; }
    // Points.
    std::int32_t FontSize() const { return fontSize_; }
    void SetFontSize(std::int32_t value) { fontSize_ = value; }
    bool FontStrikeout() const { return fontStrikeout_; }
    void SetFontStrikeout(bool value) { fontStrikeout_ = value; }
    bool FontUnderline() const { return fontUnderline_; }
    void SetFontUnderline(bool value) { fontUnderline_ = value; }
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool value) { multiSelect_ = value; }
    QWidget* OwnerHwnd() const { return owner_; }
    void SetOwnerHwnd(QWidget* value) { owner_ = value; }
    QString Title() const { return title_; }
    void SetTitle(const QString& value) { title_ = value; }

    // The printer settings, numbered as PrinterSettings describes.
    std::int16_t Copies() const { return printer_.copies; }
    std::int32_t Duplex() const { return printer_.duplex; }
    std::int32_t Orientation() const { return printer_.orientation; }
    std::int32_t PaperSize() const { return printer_.paperSize; }
    std::int32_t PaperSource() const { return printer_.paperSource; }
    std::int32_t PrintQuality() const { return printer_.printQuality; }
    QString Port() const { return printer_.port; }
    QString PrinterName() const { return printer_.printerName; }
    QString PrinterType() const { return printer_.driverName; }

private:
    DialogBackend& Backend() const;
    void FillFileRequest(FileDialogRequest& request) const;
    void TakeFileChoice(const FileDialogRequest& request);

    std::shared_ptr<DialogBackend> backend_;
    std::int32_t color_ = 0;
    QByteArray customColors_;
    QString fileExtension_;
    QString fileName_;
    QStringList fileNames_;
    QString fileTitle_;
    QString filter_;
    std::uint8_t filterIndex_ = 1;
    QString folderName_;
    bool fontBold_ = false;
    bool fontItalic_ = false;
    QString fontName_;
    std::int32_t fontSize_ = 8;
    bool fontStrikeout_ = false;
    bool fontUnderline_ = false;
    bool multiSelect_ = false;
    QPointer<QWidget> owner_;
    QString title_;
    PrinterSettings printer_;
};

} // namespace tolvane
