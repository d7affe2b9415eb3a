// A status bar that docks at the bottom of its form and lays out its panels by their sizing rules.
//
// The bar is a thin control window holding an inner "status window" (ControlHwnd) that keeps
// what the panels handed it (right edges, texts with their bevel flags, the simple-style text)
// and paints it. Clicks on the inner window reach the control's window as notifications, which
// the control's window procedure (installed with Subclassing) turns into PanelClick and
// PanelDblClick for the first panel whose rectangle holds the point.
//
// Layout, in pixels: a panel is 0 wide when hidden, its text's width + 7 when sized to its
// contents, else MinWidth; the first panel wider than 0 loses 2 pixels; every spring panel then
// receives the form's spare width (ScaleWidth - total + 2) while the total is below ScaleWidth + 2.
// ScaleWidth is the parent's "ScaleWidth" property when it has one, else the parent's width.
//
// Size grip: shown when the form (the top-level window) has a "BorderStyle" property of 2 or 5,
// the two sizable border styles; a form without that property gets one when the status bar sits
// directly on it and the window can be resized (its minimum and maximum sizes differ).
#pragma once

#include "controls/PropertyBag.h"
#include "controls/Subclassing.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <vector>

namespace tolvane {

class StatusBar;
class StatusWindow;

// Panel.Alignment
inline constexpr int sbrLeft = 0;
inline constexpr int sbrCenter = 1;
inline constexpr int sbrRight = 2;
// Panel.AutoSize
inline constexpr int sbrNoAutoSize = 0;
inline constexpr int sbrSpring = 1;
inline constexpr int sbrContents = 2;
// Panel.Bevel
inline constexpr int sbrNoBevel = 0;
inline constexpr int sbrInset = 1;
inline constexpr int sbrRaised = 2;

// One panel of a status bar, owned by it. Setters ignore values outside their range; an accepted
// value is stored, reported as changed under the panel's key ("PanelText(0)") and laid out.
class Panel : public QObject {
    Q_OBJECT
    Q_PROPERTY(int ActualWidth READ ActualWidth)
    Q_PROPERTY(int Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(int AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(int Bevel READ Bevel WRITE SetBevel)
    Q_PROPERTY(int Index READ Index)
    Q_PROPERTY(int MinWidth READ MinWidth WRITE SetMinWidth)
    Q_PROPERTY(QString Tag READ Tag WRITE SetTag)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE SetToolTipText)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)

public:
    // The width the last layout gave the panel.
    int ActualWidth() const { return actualWidth_; }
    int Alignment() const { return alignment_; }
    void SetAlignment(int value);
    int AutoSize() const { return autoSize_; }
    void SetAutoSize(int value);
    int Bevel() const { return bevel_; }
    void SetBevel(int value);
    int Index() const { return index_; }
    int MinWidth() const { return minWidth_; }
    void SetMinWidth(int value);
    QString Tag() const { return tag_; }
    void SetTag(const QString& value);
    QString Text() const { return text_; }
    void SetText(const QString& value);
    QString ToolTipText() const { return toolTipText_; }
    void SetToolTipText(const QString& value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);

private:
    friend class StatusBar;
    Panel(StatusBar* owner, int index);
    void Changed(const char* prefix);

    StatusBar* owner_;
    int index_;
    int actualWidth_ = 0;
    int alignment_ = sbrLeft;
    int autoSize_ = sbrNoAutoSize;
    int bevel_ = sbrInset;
    int minWidth_ = 100;
    QString tag_;
    QString text_;
    QString toolTipText_;
    bool visible_ = true;
};

class StatusBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QWidget* ControlHwnd READ ControlHwnd)
    Q_PROPERTY(int Count READ Count WRITE SetCount)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool PreventUpdate READ PreventUpdate WRITE SetPreventUpdate)
    Q_PROPERTY(bool ShowTips READ ShowTips WRITE SetShowTips)
    Q_PROPERTY(QString SimpleText READ SimpleText WRITE SetSimpleText)
    Q_PROPERTY(int Style READ Style WRITE SetStyle)

public:
    explicit StatusBar(QWidget* parent = nullptr);
    ~StatusBar() override;

    // The inner status window.
    QWidget* ControlHwnd() const;
    int Count() const { return count_; }
    void SetCount(int value); // 0 .. 32767; re-creates the status window
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    QFont Font() const { return font_; }
    void SetFont(const QFont& value);
    bool PreventUpdate() const { return preventUpdate_; }
    void SetPreventUpdate(bool value) { preventUpdate_ = value; }
    bool ShowTips() const { return showTips_; }
    void SetShowTips(bool value);
    QString SimpleText() const { return simpleText_; }
    void SetSimpleText(const QString& value);
    int Style() const { return style_; } // 0 panels, 1 simple (one full-width text)
    void SetStyle(int value);

    // The panel at `index`, nullptr outside 0 .. Count - 1.
    Q_INVOKABLE tolvane::Panel* Panel(int index) const;
    Q_INVOKABLE void Refresh();
    // Lays the panels out and hands one panel (or all, for -1) to the status window; does
    // nothing while PreventUpdate is set.
    Q_INVOKABLE void UpdatePanels(int index);

    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

    // What the status window holds: the right edges of its parts, a part's rectangle (in the
    // status window's coordinates; empty for a part of no width) and the text a part was given
    // (Alignment tab characters, then the panel's text).
    std::vector<int> RightEdges() const;
    QRect PanelRect(int index) const;
    QString PartText(int index) const;

    // The height the bar takes at the bottom of its form with its current font.
    int DockedHeight() const;

    // The designer's view of the control: no tool tips and no click events while it is set.
    bool DesignMode() const { return designMode_; }
    void SetDesignMode(bool value) { designMode_ = value; }

signals:
    void PanelClick(tolvane::Panel* Panel, int Button);
    void PanelDblClick(tolvane::Panel* Panel, int Button);
    void PropertyChanged(const QString& key);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class tolvane::Panel;
    friend class StatusWindow;
    struct Tool {
        int id;
        QRect rect;
        QString text;
    };

    void Mark(const QString& key);
    void Recreate();
    void Apply();
    void GrowPanels();
    void Layout();
    int ScaleWidth() const;
    bool WantsSizeGrip() const;
    void Dock();
    void SendPanelText(int index);
    QString ToolTipAt(const QPoint& pos, QRect& rect) const;
    // The window procedure's part: a click notification from the status window at `pos`.
    void OnNotify(int code, const QPoint& pos);
    static bool WindowProc(QWidget* window, QEvent* event);

    int count_ = 0;
    bool enabled_ = true;
    QFont font_;
    bool preventUpdate_ = false;
    bool designMode_ = false;
    bool showTips_ = true;
    QString simpleText_;
    int style_ = 0;
    std::vector<tolvane::Panel*> panels_;
    QPointer<StatusWindow> window_;
    bool tipsActive_ = false;
    std::vector<Tool> tools_;
    Subclassing subclassing_;
};

} // namespace tolvane
