#include "controls/ProgressBar.h"

#include "controls/SystemColors.h"
#include "util/Colors.h"

#include <QPainter>
#include <QProgressBar>

#include <algorithm>

namespace tolvane {

namespace {

constexpr int ChunkGap = 2;

} // namespace

// The inner bar. Its style bits (vertical, smooth) are fixed when it is made, as a native
// window's class styles are.
class ProgressWindow : public QProgressBar {
public:
    ProgressWindow(QWidget* parent, bool vertical, bool smooth) : QProgressBar(parent), smooth_(smooth)
    {
        setTextVisible(false);
        setOrientation(vertical ? Qt::Vertical : Qt::Horizontal);
    }

    void SetFrame(bool sunken, bool single)
    {
        sunken_ = sunken;
        single_ = single;
        update();
    }
    // -1 (a colour that cannot be translated) gives the default bar colour.
    void SetBarColor(std::int32_t rgb)
    {
        barColor_ = rgb == -1 ? OleColor(Colors::Highlight) : RgbColor(rgb);
        update();
    }
    // Positions outside the range are pulled into it, as a native bar does.
    void SetPos(int pos) { setValue(std::clamp(pos, minimum(), std::max(minimum(), maximum()))); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QRect r = rect();
        if (single_) {
            painter.setPen(OleColor(Colors::WindowFrame));
            painter.drawRect(r.adjusted(0, 0, -1, -1));
            r.adjust(1, 1, -1, -1);
        }
        if (sunken_) {
            DrawEdge(painter, r, OleColor(Colors::ButtonShadow), OleColor(Colors::ButtonHighlight));
            r.adjust(1, 1, -1, -1);
            DrawEdge(painter, r, OleColor(Colors::ThreeDDKShadow), OleColor(Colors::ThreeDLight));
            r.adjust(1, 1, -1, -1);
        }
        painter.fillRect(r, OleColor(Colors::ButtonFace));
        r.adjust(1, 1, -1, -1);
        const qint64 range = qint64{maximum()} - minimum();
        if (range <= 0 || r.isEmpty())
            return;
        const bool vertical = orientation() == Qt::Vertical;
        const int length = vertical ? r.height() : r.width();
        const int extent = static_cast<int>((qint64{value()} - minimum()) * length / range);
        const int chunk = smooth_ ? length : std::max(1, (2 * (vertical ? r.width() : r.height()) + 1) / 3);
        const int step = smooth_ ? length : chunk + ChunkGap;
        for (int at = 0; at < extent; at += step) {
            const int size = smooth_ ? extent : std::min(chunk, length - at);
            if (vertical)
                painter.fillRect(r.left(), r.bottom() + 1 - at - size, r.width(), size, barColor_);
            else
                painter.fillRect(r.left() + at, r.top(), size, r.height(), barColor_);
        }
    }

private:
    static void DrawEdge(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
    {
        painter.setPen(topLeft);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    }

    bool smooth_;
    bool sunken_ = false;
    bool single_ = false;
    QColor barColor_;
};

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent)
{
    Apply(true);
}

QWidget* ProgressBar::ControlHwnd() const
{
    return bar_;
}

void ProgressBar::Changed(const QString& key, bool recreate)
{
    emit PropertyChanged(key);
    Apply(recreate);
}

void ProgressBar::SetAppearance(int value)
{
    if (value != 0 && value != 1)
        return;
    appearance_ = value;
    Changed(QStringLiteral("Appearance"), false);
}

void ProgressBar::SetBorderStyle(int value)
{
    if (value != 0 && value != 1)
        return;
    borderStyle_ = value;
    Changed(QStringLiteral("BorderStyle"), false);
}

void ProgressBar::SetForeColor(quint32 value)
{
    foreColor_ = value;
    Changed(QStringLiteral("ForeColor"), false);
}

void ProgressBar::SetMax(int value)
{
    if (value <= min_)
        return;
    max_ = value;
    Changed(QStringLiteral("Max"), false);
}

void ProgressBar::SetMin(int value)
{
    if (value < 0 || value >= max_)
        return;
    min_ = value;
    Changed(QStringLiteral("Min"), false);
}

void ProgressBar::SetOrientation(int value)
{
    if (value != 0 && value != 1)
        return;
    orientation_ = value;
    Changed(QStringLiteral("Orientation"), true);
}

void ProgressBar::SetScrolling(int value)
{
    if (value != 0 && value != 1)
        return;
    scrolling_ = value;
    Changed(QStringLiteral("Scrolling"), true);
}

void ProgressBar::SetValue(int value)
{
    if (value < min_ || value > max_)
        return;
    value_ = value;
    Changed(QStringLiteral("Value"), false);
}

void ProgressBar::Refresh()
{
    update();
    if (bar_)
        bar_->update();
}

void ProgressBar::Apply(bool recreate)
{
    if (recreate) {
        if (bar_) {
            bar_->hide();
            bar_->deleteLater();
        }
        bar_ = new ProgressWindow(this, orientation_ == 1, scrolling_ == 1);
        bar_->setGeometry(rect());
        bar_->show();
    }
    if (!bar_)
        return;
    bar_->SetFrame(appearance_ == 1, borderStyle_ == 1);
    bar_->SetBarColor(Colors::Translate(foreColor_));
    // The native range is a pair of 16-bit numbers.
    bar_->setRange(min_ & 0xFFFF, max_ & 0xFFFF);
    bar_->SetPos(std::max(std::min(value_, max_), min_));
}

void ProgressBar::resizeEvent(QResizeEvent*)
{
    if (bar_)
        bar_->setGeometry(rect());
}

void ProgressBar::ReadProperties(const PropertyBag& bag)
{
    appearance_ = static_cast<int>(bag.ReadInt(QStringLiteral("Appearance"), 0));
    borderStyle_ = static_cast<int>(bag.ReadInt(QStringLiteral("BorderStyle"), 0));
    foreColor_ = static_cast<quint32>(bag.ReadInt(QStringLiteral("ForeColor"), 0x8000000D));
    max_ = static_cast<int>(bag.ReadInt(QStringLiteral("Max"), 100));
    min_ = static_cast<int>(bag.ReadInt(QStringLiteral("Min"), 0));
    orientation_ = static_cast<int>(bag.ReadInt(QStringLiteral("Orientation"), 0));
    scrolling_ = static_cast<int>(bag.ReadInt(QStringLiteral("Scrolling"), 0));
    value_ = static_cast<int>(bag.ReadInt(QStringLiteral("Value"), 0));
    Apply(true);
}

void ProgressBar::WriteProperties(PropertyBag& bag) const
{
    bag.Write(QStringLiteral("Appearance"), appearance_);
    bag.Write(QStringLiteral("BorderStyle"), borderStyle_);
    bag.Write(QStringLiteral("ForeColor"), qint64{foreColor_});
    bag.Write(QStringLiteral("Max"), max_);
    bag.Write(QStringLiteral("Min"), min_);
    bag.Write(QStringLiteral("Orientation"), orientation_);
    bag.Write(QStringLiteral("Scrolling"), scrolling_);
    bag.Write(QStringLiteral("Value"), value_);
}

} // namespace tolvane
