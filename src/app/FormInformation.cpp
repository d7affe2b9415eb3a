#include "app/FormInformation.h"

#include "app/Background.h"
#include "controls/ListView.h"
#include "disc/InformationReport.h"
#include "disc/OpticalDisk.h"

#include <QPushButton>
#include <QSaveFile>

namespace tolvane::app {

FormInformation::FormInformation(QWidget* parent)
    : Form(QStringLiteral("FormInformation"),
           {QStringLiteral("ListViewInformation"), QStringLiteral("CommandSaveas"), QStringLiteral("CommandClose")},
           parent)
{
    connect(Control<QPushButton>(QStringLiteral("CommandSaveas")), &QPushButton::clicked, this, &FormInformation::SaveAs);
    connect(Control<QPushButton>(QStringLiteral("CommandClose")), &QPushButton::clicked, this, &QDialog::accept);
}

void FormInformation::showEvent(QShowEvent* event)
{
    Form::showEvent(event);
    Fill();
}

void FormInformation::Fill()
{
    auto* list = Control<ListView>(QStringLiteral("ListViewInformation"));
    list->ListItems()->Clear();
    std::vector<InformationRow> rows;
    if (disk_) {
        WaitCursor wait;
        bool present = false;
        RunInBackground([&] { present = disk_->Check(); });
        rows = InformationRows(present, *disk_->CD(), *disk_->CDText(), *disk_->DVD(), ids::IdentifiersOf(*disk_));
    } else {
        rows.push_back({"Media not present", ""});
    }
    for (const InformationRow& row : rows) {
        const int n = list->ListItems()->Add(QString::fromStdString(row.label));
        list->ListItems()->Item(n)->SetText(1, QString::fromStdString(row.value));
    }

    if (!dialogs_)
        dialogs_ = std::make_unique<CommonDialogs>();
    dialogs_->SetFilter(QStringLiteral("Text Document (*.txt)") + QChar(0) + QStringLiteral("*.txt") + QChar(0) + QChar(0));
    dialogs_->SetFilterIndex(1);
    dialogs_->SetOwnerHwnd(this);
    dialogs_->SetTitle(QStringLiteral("Save As"));
}

std::string FormInformation::Report() const
{
    std::vector<InformationRow> rows;
    ListItems* items = Control<ListView>(QStringLiteral("ListViewInformation"))->ListItems();
    for (int i = 0; i < items->Count(); ++i)
        rows.push_back({items->Item(i)->Text(0).toStdString(), items->Item(i)->Text(1).toStdString()});
    return InformationReport(rows);
}

void FormInformation::SaveAs()
{
    {
        WaitCursor wait;
        dialogs_->SetFileName(QStringLiteral("Tolvane"));
    }
    if (!dialogs_->ShowSave())
        return;
    WaitCursor wait;
    repaint();
    QSaveFile file(dialogs_->FileName());
    const std::string text = Report();
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), static_cast<qint64>(text.size())) < 0 ||
        !file.commit()) {
        ShowMessage(this, QStringLiteral("The report could not be saved to %1: %2").arg(dialogs_->FileName(), file.errorString()),
                    QMessageBox::Warning);
    }
}

} // namespace tolvane::app
