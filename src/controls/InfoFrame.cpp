#include "controls/InfoFrame.h"

#include "controls/ParentWatch.h"

#include "controls/SystemColors.h"
#include "util/Colors.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tolvane {

namespace {

// One channel of stripe `pos`: the ratio and the step are single precision, the sum is rounded to
// the nearest integer with halves to even (the default rounding mode).
int Channel(int start, int delta, int extent, int pos)
{
    const float ratio = pos == 0 ? 0.0f : static_cast<float>(extent) / static_cast<float>(pos);
    const float step = ratio == 0.0f ? 0.0f : static_cast<float>(delta) / ratio;
    const float value = std::nearbyint(static_cast<float>(start) + step);
    return std::clamp(static_cast<int>(value), 0, 255);
}

// The inset of the sunken border lines (120 twips) and where the parts sit inside the frame.
constexpr int LineInset = 8;
constexpr int IconPos = 16;
constexpr int IconSize = 32;
constexpr int LabelLeft = 56;
constexpr int MenuButtonSize = 22;

} // namespace

// ---- Gradient ----

std::vector<QRgb> Gradient::Stripes(int extent, int startRed, int startGreen, int startBlue, int endRed,
                                    int endGreen, int endBlue)
{
    // The differences are 16-bit numbers.
    const int dR = static_cast<qint16>(endRed - startRed);
    const int dG = static_cast<qint16>(endGreen - startGreen);
    const int dB = static_cast<qint16>(endBlue - startBlue);
    std::vector<QRgb> stripes;
    for (int pos = 0; pos <= extent; ++pos)
        stripes.push_back(qRgb(Channel(startRed, dR, extent, pos), Channel(startGreen, dG, extent, pos),
                               Channel(startBlue, dB, extent, pos)));
    return stripes;
}

void Gradient::Show(QPainter& painter, int startRed, int startGreen, int startBlue, int endRed, int endGreen,
                    int endBlue) const
{
    if (!owner_)
        return;
    // A client rectangle's right and bottom lie just outside it.
    const int left = 0;
    const int top = 0;
    const int right = owner_->width();
    const int bottom = owner_->height();
    const int extent = upDown_ ? bottom - top : right - left;
    const std::vector<QRgb> stripes =
        Stripes(extent, startRed, startGreen, startBlue, endRed, endGreen, endBlue);
    for (int i = 0; i <= extent; ++i) {
        const QColor color(stripes[static_cast<std::size_t>(i)]);
        if (upDown_)
            painter.fillRect(QRect(left, top + i, right - left, 1), color);
        else
            painter.fillRect(QRect(left + i, top, 1, bottom - top), color);
    }
}

// ---- InfoFrame ----

InfoFrame::InfoFrame(QWidget* parent) : QWidget(parent)
{
    // A new frame shows the name of the (last) information frame on its container.
    if (parent)
        for (QObject* child : parent->children())
            if (auto* frame = qobject_cast<InfoFrame*>(child); frame && !frame->objectName().isEmpty())
                text_ = frame->objectName();

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("ImageIcon"));
    image_->setGeometry(IconPos, IconPos, IconSize, IconSize);
    image_->installEventFilter(this);

    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("LabelText"));
    QFont font = label_->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + 2);
    label_->setFont(font);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label_->installEventFilter(this);

    menuButton_ = new QToolButton(this);
    menuButton_->setObjectName(QStringLiteral("MenuButton"));
    menuButton_->setArrowType(Qt::DownArrow);
    menuButton_->setAutoRaise(true);
    menuButton_->setToolTip(tr("Window menu"));
    menuButton_->hide();
    // The menu opens below the button, right-aligned with it, as a window menu opens from its corner.
    connect(menuButton_, &QToolButton::clicked, this, [this] {
        if (!menu_)
            return;
        QPoint at = menuButton_->mapToGlobal(QPoint(menuButton_->width(), menuButton_->height()));
        at.rx() -= menu_->sizeHint().width();
        menu_->popup(at);
    });

    new ParentWatch(this, [this] { FitToParent(); });
    FitToParent();
    Apply();
}

void InfoFrame::Changed(const QString& key)
{
    emit PropertyChanged(key);
    Apply();
}

void InfoFrame::SetBackColor(quint32 value)
{
    backColor_ = value;
    Changed(QStringLiteral("BackColor"));
}

void InfoFrame::SetEnabled(bool value)
{
    enabled_ = value;
    Changed(QStringLiteral("Enabled"));
}

void InfoFrame::SetForeColor(quint32 value)
{
    foreColor_ = value;
    Changed(QStringLiteral("ForeColor"));
}

void InfoFrame::SetGradientColor(quint32 value)
{
    gradientColor_ = value;
    Changed(QStringLiteral("GradientColor"));
}

void InfoFrame::SetIcon(const QIcon& value)
{
    icon_ = value;
    Changed(QStringLiteral("Icon"));
}

void InfoFrame::SetText(const QString& value)
{
    text_ = value;
    Changed(QStringLiteral("Text"));
}

void InfoFrame::Apply()
{
    QWidget::setEnabled(enabled_);
    image_->setPixmap(icon_.isNull() ? QPixmap() : icon_.pixmap(IconSize, IconSize));
    label_->setText(text_);
    QPalette palette = label_->palette();
    // The disabled look stays the style's own.
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::WindowText, OleColor(foreColor_));
    label_->setPalette(palette);
    update();
}

void InfoFrame::Refresh()
{
    image_->update();
    label_->update();
    update();
}

void InfoFrame::SetSystemMenu(QMenu* menu)
{
    menu_ = menu;
    menuButton_->setVisible(menu != nullptr);
}

void InfoFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), OleColor(backColor_));
    if (backColor_ != gradientColor_) {
        Gradient gradient;
        gradient.SetOwnerHwnd(this);
        gradient.SetUpDown(false);
        gradient.Show(painter, backColor_ & 0xFF, (backColor_ >> 8) & 0xFF, (backColor_ >> 16) & 0xFF,
                      gradientColor_ & 0xFF, (gradientColor_ >> 8) & 0xFF, (gradientColor_ >> 16) & 0xFF);
    }
    // A sunken border: grey above and left, white below and right; the horizontal lines run to the
    // right edge.
    const int bottom = FrameHeight - LineInset;
    const int right = width() - 1;
    painter.setPen(QColor(128, 128, 128));
    painter.drawLine(LineInset, LineInset, right, LineInset);
    painter.drawLine(LineInset, LineInset, LineInset, bottom);
    painter.setPen(Qt::white);
    painter.drawLine(LineInset, bottom, right, bottom);
    painter.drawLine(right, LineInset, right, bottom);
}

// The form's "ScaleWidth" when it has that property, else its width.
void InfoFrame::FitToParent()
{
    QWidget* form = parentWidget();
    bool scaled = false;
    const int scaleWidth = form ? form->property("ScaleWidth").toInt(&scaled) : 0;
    const int width = !form ? this->width() : scaled ? scaleWidth : form->width();
    if (size() != QSize(width, FrameHeight))
        resize(width, FrameHeight);
}

void InfoFrame::resizeEvent(QResizeEvent*)
{
    FitToParent();
    label_->setGeometry(LabelLeft, IconPos, std::max(0, width() - 71), IconSize);
    menuButton_->setGeometry(width() - LineInset - MenuButtonSize - 4, (FrameHeight - MenuButtonSize) / 2,
                             MenuButtonSize, MenuButtonSize);
}

// Left clicks only: the right button opens the context menu. The release that ends a double click
// is no further click.
bool InfoFrame::OnMouse(QWidget* receiver, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonRelease && event->type() != QEvent::MouseButtonDblClick)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    if (event->type() == QEvent::MouseButtonDblClick) {
        afterDoubleClick_ = true;
        emit DblClick();
        return true;
    }
    if (afterDoubleClick_) {
        afterDoubleClick_ = false;
        return true;
    }
    if (receiver->rect().contains(mouse->position().toPoint()))
        emit Click();
    return true;
}

void InfoFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (!OnMouse(this, event))
        QWidget::mouseReleaseEvent(event);
}

void InfoFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!OnMouse(this, event))
        QWidget::mouseDoubleClickEvent(event);
}

void InfoFrame::contextMenuEvent(QContextMenuEvent* event)
{
    if (menu_)
        menu_->popup(event->globalPos());
}

bool InfoFrame::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == image_ || watched == label_) && isEnabled())
        return OnMouse(static_cast<QWidget*>(watched), event);
    return QWidget::eventFilter(watched, event);
}

void InfoFrame::ReadProperties(const PropertyBag& bag)
{
    backColor_ = static_cast<quint32>(bag.ReadInt(QStringLiteral("BackColor"), DefaultBackColor));
    enabled_ = bag.ReadBool(QStringLiteral("Enabled"), true);
    foreColor_ = static_cast<quint32>(bag.ReadInt(QStringLiteral("ForeColor"), 0));
    gradientColor_ = static_cast<quint32>(bag.ReadInt(QStringLiteral("GradientColor"), DefaultBackColor));
    const QString icon = bag.ReadString(QStringLiteral("Icon"));
    icon_ = QIcon();
    if (icon.startsWith(QLatin1String("base64:"))) {
        QPixmap pixmap;
        if (pixmap.loadFromData(QByteArray::fromBase64(icon.mid(7).toLatin1()), "PNG"))
            icon_ = QIcon(pixmap);
    } else if (!icon.isEmpty()) {
        icon_ = QIcon(icon);
    }
    if (bag.Contains(QStringLiteral("Text")))
        text_ = bag.ReadString(QStringLiteral("Text"));
    Apply();
}

void InfoFrame::WriteProperties(PropertyBag& bag) const
{
    bag.Write(QStringLiteral("BackColor"), qint64{backColor_});
    bag.Write(QStringLiteral("Enabled"), enabled_);
    bag.Write(QStringLiteral("ForeColor"), qint64{foreColor_});
    bag.Write(QStringLiteral("GradientColor"), qint64{gradientColor_});
    QString icon;
    if (!icon_.isNull()) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        icon_.pixmap(IconSize, IconSize).save(&buffer, "PNG");
        icon = QStringLiteral("base64:") + QString::fromLatin1(png.toBase64());
    }
    bag.Write(QStringLiteral("Icon"), icon);
    bag.Write(QStringLiteral("Text"), text_);
}

} // namespace tolvane
