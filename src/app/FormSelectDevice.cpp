#include "app/FormSelectDevice.h"

#include "app/Background.h"
#include "controls/ListView.h"
#include "device/OpticalDrives.h"

#include <QPushButton>
#include <QTreeWidget>

namespace tolvane::app {

FormSelectDevice::FormSelectDevice(QWidget* parent)
    : Form(QStringLiteral("FormSelectDevice"),
           {QStringLiteral("ListViewDevices"), QStringLiteral("CommandOK"), QStringLiteral("CommandCancel")}, parent)
{
    auto* list = Control<ListView>(QStringLiteral("ListViewDevices"));
    connect(list, &ListView::ItemDblClick, this, [this](ListItem* item, int) { Choose(item); });
    connect(Control<QPushButton>(QStringLiteral("CommandOK")), &QPushButton::clicked, this,
            [this] { Choose(Control<ListView>(QStringLiteral("ListViewDevices"))->SelectedItem()); });
    connect(Control<QPushButton>(QStringLiteral("CommandCancel")), &QPushButton::clicked, this, &QDialog::reject);
}

void FormSelectDevice::showEvent(QShowEvent* event)
{
    ok_ = false;
    auto* list = Control<ListView>(QStringLiteral("ListViewDevices"));
    list->ListItems()->Clear();
    const int count = drives_ ? drives_->Count() : 0;
    for (int i = 0; i < count; ++i) {
        const OpticalDriveItem* drive = drives_->Item(static_cast<std::int16_t>(i));
        const int row = list->ListItems()->Add(QString::fromStdString(drive->Letter()));
        ListItem* item = list->ListItems()->Item(row);
        item->SetText(1, QString::fromStdString(drive->Name()));
        item->SetText(2, QString::fromStdString(drive->Revision()));
        item->SetText(3, QString::fromStdString(drive->Manufacturer()));
        if (i == device_) {
            item->SetSelected(true);
            // The preselected row is also the current one, so OK takes it without a click.
            if (auto* tree = qobject_cast<QTreeWidget*>(list->ControlHwnd()))
                tree->setCurrentItem(tree->topLevelItem(row));
        }
    }
    Form::showEvent(event);
}

void FormSelectDevice::Choose(ListItem* item)
{
    WaitCursor wait;
    if (!item)
        return;
    device_ = static_cast<std::uint8_t>(item->Index());
    ok_ = true;
    accept();
}

} // namespace tolvane::app
