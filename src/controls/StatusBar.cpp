#include "controls/StatusBar.h"

#include "controls/ParentWatch.h"

#include "controls/SystemColors.h"
#include "util/Colors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QToolTip>

#include <algorithm>
#include <limits>

namespace tolvane {

namespace {

// The notifications the status window sends to the control's window.
constexpr int NmClick = -2;
constexpr int NmDblClick = -3;
constexpr int NmRClick = -5;
constexpr int NmRDblClick = -6;

// Space the status window keeps between parts and above them.
constexpr int PartGap = 2;
constexpr int TopBorder = 2;

constexpr int Max16 = std::numeric_limits<qint16>::max();

// A click on the status window, delivered to the control's window (a WM_NOTIFY). The position
// travels with it: a synthesised click does not move the cursor.
class NotifyEvent : public QEvent {
public:
    NotifyEvent(int code, QPoint pos) : QEvent(Type()), code(code), pos(pos) {}
    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    int code;
    QPoint pos;
};

QString PanelKey(const char* prefix, int index)
{
    return QString::fromLatin1(prefix) + QString::number(index) + QLatin1Char(')');
}

} // namespace

// The inner status window: keeps its parts (right edges, texts, bevel flags) and the simple-style
// text as they were handed to it, and paints them.
class StatusWindow : public QWidget {
public:
    static constexpr int NoBorders = 0x100;
    static constexpr int PopOut = 0x200;

    StatusWindow(StatusBar* owner, bool sizeGrip) : QWidget(owner), owner_(owner)
    {
        if (sizeGrip)
            grip_ = new QSizeGrip(this);
    }

    void SetParts(std::vector<int> rights)
    {
        rights_ = std::move(rights);
        texts_.resize(rights_.size());
        flags_.resize(rights_.size(), 0);
        update();
    }
    const std::vector<int>& Parts() const { return rights_; }

    void SetText(int part, const QString& text, int flags)
    {
        if (part < 0 || static_cast<std::size_t>(part) >= rights_.size())
            return;
        texts_[static_cast<std::size_t>(part)] = text;
        flags_[static_cast<std::size_t>(part)] = flags;
        update();
    }
    QString Text(int part) const
    {
        return part >= 0 && static_cast<std::size_t>(part) < texts_.size() ? texts_[static_cast<std::size_t>(part)]
                                                                           : QString();
    }
    void SetSimple(bool simple)
    {
        simple_ = simple;
        update();
    }
    void SetSimpleText(const QString& text)
    {
        simpleText_ = text;
        update();
    }

    QRect PartRect(int part) const
    {
        if (simple_ || part < 0 || static_cast<std::size_t>(part) >= rights_.size())
            return {};
        const int left = part == 0 ? 0 : rights_[static_cast<std::size_t>(part) - 1] + PartGap;
        const int right = rights_[static_cast<std::size_t>(part)];
        if (right <= left)
            return {};
        return QRect(left, TopBorder, right - left, height() - TopBorder);
    }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        if (grip_) {
            const QSize size = grip_->sizeHint();
            grip_->setGeometry(width() - size.width(), height() - size.height(), size.width(), size.height());
        }
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), OleColor(Colors::ButtonFace));
        painter.setFont(font());
        if (simple_) {
            DrawPart(painter, QRect(0, TopBorder, width(), height() - TopBorder), simpleText_, 0);
            return;
        }
        for (std::size_t i = 0; i < rights_.size(); ++i) {
            const QRect r = PartRect(static_cast<int>(i));
            if (!r.isEmpty())
                DrawPart(painter, r, texts_[i], flags_[i]);
        }
    }

    // Clicks on release, double clicks on the second press: the notifications a status window sends.
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            Notify(NmClick, event->position().toPoint());
        else if (event->button() == Qt::RightButton)
            Notify(NmRClick, event->position().toPoint());
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            Notify(NmDblClick, event->position().toPoint());
        else if (event->button() == Qt::RightButton)
            Notify(NmRDblClick, event->position().toPoint());
    }

    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            QRect area;
            const QString text = owner_ ? owner_->ToolTipAt(help->pos(), area) : QString();
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), text, this, area);
            return true;
        }
        return QWidget::event(event);
    }

private:
    void Notify(int code, QPoint pos)
    {
        NotifyEvent notify(code, pos);
        if (owner_)
            QCoreApplication::sendEvent(owner_, &notify);
    }

    // Leading tab characters choose the alignment: none left, one centred, two right.
    void DrawPart(QPainter& painter, const QRect& r, const QString& sent, int flags)
    {
        if (!(flags & NoBorders)) {
            const QColor shadow = OleColor(Colors::ButtonShadow);
            const QColor light = OleColor(Colors::ButtonHighlight);
            const bool raised = flags & PopOut;
            painter.setPen(raised ? light : shadow);
            painter.drawLine(r.left(), r.top(), r.right(), r.top());
            painter.drawLine(r.left(), r.top(), r.left(), r.bottom());
            painter.setPen(raised ? shadow : light);
            painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
            painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
        }
        QString text = sent;
        int tabs = 0;
        while (tabs < 2 && text.startsWith(QLatin1Char('\t'))) {
            text.remove(0, 1);
            ++tabs;
        }
        const Qt::Alignment horizontal = tabs == 0 ? Qt::AlignLeft : tabs == 1 ? Qt::AlignHCenter : Qt::AlignRight;
        painter.setPen(OleColor(isEnabled() ? Colors::ButtonText : Colors::GrayText));
        painter.save();
        painter.setClipRect(r.adjusted(1, 1, -1, -1));
        painter.drawText(r.adjusted(3, 1, -3, -1), static_cast<int>(horizontal | Qt::AlignVCenter | Qt::TextSingleLine),
                         text);
        painter.restore();
    }

    QPointer<StatusBar> owner_;
    QSizeGrip* grip_ = nullptr;
    std::vector<int> rights_;
    std::vector<QString> texts_;
    std::vector<int> flags_;
    bool simple_ = false;
    QString simpleText_;
};

// ---- Panel ----

Panel::Panel(StatusBar* owner, int index) : QObject(owner), owner_(owner), index_(index) {}

void Panel::Changed(const char* prefix)
{
    owner_->Mark(PanelKey(prefix, index_));
    owner_->UpdatePanels(index_);
}

void Panel::SetAlignment(int value)
{
    if (value < sbrLeft || value > sbrRight)
        return;
    alignment_ = value;
    Changed("PanelAlignment(");
}

void Panel::SetAutoSize(int value)
{
    if (value < sbrNoAutoSize || value > sbrContents)
        return;
    autoSize_ = value;
    Changed("PanelAutoSize(");
}

void Panel::SetBevel(int value)
{
    if (value < sbrNoBevel || value > sbrRaised)
        return;
    bevel_ = value;
    Changed("PanelBevel(");
}

void Panel::SetMinWidth(int value)
{
    if (value < 1 || value > Max16)
        return;
    minWidth_ = value;
    Changed("PanelMinWidth(");
}

void Panel::SetTag(const QString& value)
{
    tag_ = value;
    Changed("PanelTag(");
}

void Panel::SetText(const QString& value)
{
    text_ = value;
    Changed("PanelText(");
}

void Panel::SetToolTipText(const QString& value)
{
    toolTipText_ = value;
    Changed("PanelToolTipText(");
}

void Panel::SetVisible(bool value)
{
    visible_ = value;
    Changed("PanelVisible(");
}

// ---- StatusBar ----

StatusBar::StatusBar(QWidget* parent) : QWidget(parent)
{
    font_ = parent ? parent->font() : QApplication::font();
    new ParentWatch(this, [this] { Dock(); });
    Recreate();
    Dock();
}

StatusBar::~StatusBar()
{
    subclassing_.Destroy();
}

QWidget* StatusBar::ControlHwnd() const
{
    return window_;
}

void StatusBar::Mark(const QString& key)
{
    emit PropertyChanged(key);
}

void StatusBar::SetCount(int value)
{
    if (value < 0 || value > Max16)
        return;
    count_ = value;
    Mark(QStringLiteral("Count"));
    Recreate();
}

void StatusBar::SetEnabled(bool value)
{
    enabled_ = value;
    Mark(QStringLiteral("Enabled"));
    Apply();
}

void StatusBar::SetFont(const QFont& value)
{
    font_ = value;
    Mark(QStringLiteral("Font"));
    Apply();
    Dock();
}

void StatusBar::SetShowTips(bool value)
{
    showTips_ = value;
    Mark(QStringLiteral("ShowTips"));
    Apply();
}

void StatusBar::SetSimpleText(const QString& value)
{
    simpleText_ = value;
    Mark(QStringLiteral("SimpleText"));
    Apply();
}

void StatusBar::SetStyle(int value)
{
    if (value != 0 && value != 1)
        return;
    style_ = value;
    Mark(QStringLiteral("Style"));
    Apply();
}

tolvane::Panel* StatusBar::Panel(int index) const
{
    if (index < 0 || index >= count_ || static_cast<std::size_t>(index) >= panels_.size())
        return nullptr;
    return panels_[static_cast<std::size_t>(index)];
}

void StatusBar::Refresh()
{
    update();
    if (window_)
        window_->update();
}

// A new status window (the old one and its tips go), then the state applied to it.
void StatusBar::Recreate()
{
    tools_.clear();
    tipsActive_ = false;
    // Later: a click handler that changes Count runs inside the old window's mouse event.
    if (window_) {
        window_->hide();
        window_->deleteLater();
    }
    window_ = new StatusWindow(this, WantsSizeGrip());
    window_->setGeometry(rect());
    window_->show();
    Apply();
}

void StatusBar::Apply()
{
    if (!window_)
        return;
    window_->setEnabled(enabled_);
    window_->setFont(font_);
    Layout();
    window_->SetSimple(style_ == 1);
    if (style_ == 0) {
        if (!designMode_)
            tipsActive_ = showTips_;
        GrowPanels();
        UpdatePanels(-1);
    } else {
        if (!designMode_)
            tipsActive_ = false;
        window_->SetSimpleText(simpleText_);
    }
}

void StatusBar::GrowPanels()
{
    while (panels_.size() < static_cast<std::size_t>(count_))
        panels_.push_back(new tolvane::Panel(this, static_cast<int>(panels_.size())));
}

int StatusBar::ScaleWidth() const
{
    QWidget* form = parentWidget();
    if (!form)
        return width();
    const QVariant scale = form->property("ScaleWidth");
    bool ok = false;
    const int value = scale.toInt(&ok);
    return ok ? value : form->width();
}

void StatusBar::Layout()
{
    if (!window_)
        return;
    const std::size_t n = std::min(static_cast<std::size_t>(count_), panels_.size());
    const QFontMetrics metrics(font_);
    std::vector<int> widths(n);
    int total = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const tolvane::Panel& panel = *panels_[i];
        if (!panel.visible_)
            widths[i] = 0;
        else if (panel.autoSize_ == sbrContents)
            widths[i] = metrics.horizontalAdvance(panel.text_) + 7;
        else
            widths[i] = panel.minWidth_;
        total += widths[i];
    }
    // The first part that shows is 2 pixels narrower; the total keeps them.
    const auto first = std::find_if(widths.begin(), widths.end(), [](int w) { return w > 0; });
    if (first != widths.end())
        *first -= 2;

    const int scaleWidth = ScaleWidth();
    std::vector<int> rights(n);
    int pos = 0;
    for (std::size_t i = 0; i < n; ++i) {
        // Every spring panel takes the whole spare width; with one visible spring the bar ends at ScaleWidth.
        if (panels_[i]->autoSize_ == sbrSpring && total < scaleWidth + 2)
            pos += scaleWidth - total + 2;
        pos += widths[i];
        rights[i] = pos;
        panels_[i]->actualWidth_ = i == 0 ? rights[0] : rights[i] - rights[i - 1];
    }
    window_->SetParts(std::move(rights));
}

void StatusBar::SendPanelText(int index)
{
    const tolvane::Panel& panel = *panels_[static_cast<std::size_t>(index)];
    const int flags = panel.bevel_ == sbrNoBevel ? StatusWindow::NoBorders
                      : panel.bevel_ == sbrRaised ? StatusWindow::PopOut
                                                  : 0;
    window_->SetText(index, QString(panel.alignment_, QLatin1Char('\t')) + panel.text_, flags);
}

void StatusBar::UpdatePanels(int index)
{
    if (!window_ || preventUpdate_)
        return;
    Layout();
    const int n = static_cast<int>(std::min(static_cast<std::size_t>(count_), panels_.size()));
    if (index == -1) {
        for (int i = 0; i < n; ++i)
            SendPanelText(i);
        if (designMode_)
            return;
        tools_.clear();
        for (int i = 0; i < n; ++i)
            tools_.push_back({i, PanelRect(i), panels_[static_cast<std::size_t>(i)]->toolTipText_});
        subclassing_.SetOwnerHwnd(this);
        subclassing_.SetWindowProc(QStringLiteral("StatusBarWindowProc"));
        subclassing_.Clear();
        subclassing_.Add(QStringLiteral("StatusBar"), QVariant::fromValue<QObject*>(this));
        subclassing_.Create(&StatusBar::WindowProc);
    } else if (index >= 0 && index < n) {
        SendPanelText(index);
        if (designMode_)
            return;
        for (Tool& tool : tools_) {
            tool.rect = PanelRect(tool.id);
            tool.text = panels_[static_cast<std::size_t>(tool.id)]->toolTipText_;
        }
    }
}

std::vector<int> StatusBar::RightEdges() const
{
    return window_ ? window_->Parts() : std::vector<int>{};
}

QRect StatusBar::PanelRect(int index) const
{
    return window_ ? window_->PartRect(index) : QRect();
}

QString StatusBar::PartText(int index) const
{
    return window_ ? window_->Text(index) : QString();
}

QString StatusBar::ToolTipAt(const QPoint& pos, QRect& rect) const
{
    if (!tipsActive_)
        return {};
    for (const Tool& tool : tools_) {
        if (tool.rect.contains(pos)) {
            rect = tool.rect;
            return tool.text;
        }
    }
    return {};
}

bool StatusBar::WindowProc(QWidget* window, QEvent* event)
{
    if (event->type() != NotifyEvent::Type())
        return false;
    auto* control = qobject_cast<StatusBar*>(qvariant_cast<QObject*>(window->property("StatusBar")));
    if (control) {
        auto* notify = static_cast<NotifyEvent*>(event);
        control->OnNotify(notify->code, notify->pos);
    }
    return true;
}

void StatusBar::OnNotify(int code, const QPoint& pos)
{
    for (int i = 0; i < count_; ++i) {
        if (!PanelRect(i).contains(pos))
            continue;
        tolvane::Panel* panel = Panel(i);
        switch (code) {
        case NmClick:
            emit PanelClick(panel, 1);
            break;
        case NmRClick:
            emit PanelClick(panel, 2);
            break;
        case NmDblClick:
            emit PanelDblClick(panel, 1);
            break;
        case NmRDblClick:
            emit PanelDblClick(panel, 2);
            break;
        default:
            break;
        }
        return;
    }
}

bool StatusBar::WantsSizeGrip() const
{
    QWidget* form = window();
    if (form == this)
        return false;
    const QVariant style = form->property("BorderStyle");
    if (style.isValid()) {
        const int value = style.toInt();
        return value == 2 || value == 5;
    }
    return parentWidget() == form && form->minimumSize() != form->maximumSize();
}

int StatusBar::DockedHeight() const
{
    return std::max(20, QFontMetrics(font_).height() + 7);
}

void StatusBar::Dock()
{
    QWidget* form = parentWidget();
    if (!form)
        return;
    const int height = DockedHeight();
    setGeometry(0, form->height() - height, form->width(), height);
}

void StatusBar::resizeEvent(QResizeEvent*)
{
    if (!window_)
        return;
    window_->setGeometry(rect());
    Layout();
    // The tips follow their parts.
    for (Tool& tool : tools_)
        tool.rect = PanelRect(tool.id);
}

void StatusBar::ReadProperties(const PropertyBag& bag)
{
    count_ = static_cast<int>(bag.ReadInt(QStringLiteral("Count"), 0));
    enabled_ = bag.ReadBool(QStringLiteral("Enabled"), true);
    const QString font = bag.ReadString(QStringLiteral("Font"));
    font_ = parentWidget() ? parentWidget()->font() : QApplication::font();
    if (!font.isEmpty())
        font_.fromString(font);
    showTips_ = bag.ReadBool(QStringLiteral("ShowTips"), true);
    simpleText_ = bag.ReadString(QStringLiteral("SimpleText"));
    style_ = static_cast<int>(bag.ReadInt(QStringLiteral("Style"), 0));
    GrowPanels();
    for (int i = 0; i < count_; ++i) {
        tolvane::Panel& panel = *panels_[static_cast<std::size_t>(i)];
        panel.alignment_ = static_cast<int>(bag.ReadInt(PanelKey("PanelAlignment(", i), sbrLeft));
        panel.autoSize_ = static_cast<int>(bag.ReadInt(PanelKey("PanelAutoSize(", i), sbrNoAutoSize));
        panel.bevel_ = static_cast<int>(bag.ReadInt(PanelKey("PanelBevel(", i), sbrInset));
        panel.minWidth_ = static_cast<int>(bag.ReadInt(PanelKey("PanelMinWidth(", i), 100));
        panel.tag_ = bag.ReadString(PanelKey("PanelTag(", i));
        panel.text_ = bag.ReadString(PanelKey("PanelText(", i));
        panel.toolTipText_ = bag.ReadString(PanelKey("PanelToolTipText(", i));
        panel.visible_ = bag.ReadBool(PanelKey("PanelVisible(", i), true);
    }
    Recreate();
    Dock();
}

void StatusBar::WriteProperties(PropertyBag& bag) const
{
    bag.Write(QStringLiteral("Count"), count_);
    bag.Write(QStringLiteral("Enabled"), enabled_);
    bag.Write(QStringLiteral("Font"), font_.toString());
    bag.Write(QStringLiteral("ShowTips"), showTips_);
    bag.Write(QStringLiteral("SimpleText"), simpleText_);
    bag.Write(QStringLiteral("Style"), style_);
    for (int i = 0; i < count_ && static_cast<std::size_t>(i) < panels_.size(); ++i) {
        const tolvane::Panel& panel = *panels_[static_cast<std::size_t>(i)];
        bag.Write(PanelKey("PanelAlignment(", i), panel.alignment_);
        bag.Write(PanelKey("PanelAutoSize(", i), panel.autoSize_);
        bag.Write(PanelKey("PanelBevel(", i), panel.bevel_);
        bag.Write(PanelKey("PanelMinWidth(", i), panel.minWidth_);
        bag.Write(PanelKey("PanelTag(", i), panel.tag_);
        bag.Write(PanelKey("PanelText(", i), panel.text_);
        bag.Write(PanelKey("PanelToolTipText(", i), panel.toolTipText_);
        bag.Write(PanelKey("PanelVisible(", i), panel.visible_);
    }
}

} // namespace tolvane
