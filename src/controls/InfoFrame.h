// The header band of a main window: an icon, a line of text and a sunken border of lines on a
// background that runs as a colour gradient, and the small Gradient painter behind it.
//
// Gradient paints its owner's client area in one-pixel stripes (columns left to right, or rows
// top to bottom with UpDown) from a start to an end colour. Stripe p of an area `extent` pixels
// across gets, per channel, start + d / (extent / p) rounded half to even, with the ratio and the
// step in single precision; the first stripe has the start colour. The stripes run from the first
// to the last position inclusive, so one more than the area holds is painted and clipped.
//
// InfoFrame is always 63 pixels high and as wide as its parent. A menu button at its right end
// and its context menu open the menu given with SetSystemMenu: where the window manager offers no
// window menu that a program can extend, the system menu's items are reached there.
#pragma once

#include "controls/PropertyBag.h"

#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QRgb>
#include <QWidget>

#include <vector>

class QLabel;
class QPainter;
class QToolButton;

namespace tolvane {

class Gradient {
public:
    QWidget* OwnerHwnd() const { return owner_; }
    void SetOwnerHwnd(QWidget* owner) { owner_ = owner; }
    bool UpDown() const { return upDown_; }
    void SetUpDown(bool value) { upDown_ = value; }

    // Paints the owner's client rectangle with `painter`, which paints on the owner (in its
    // paint event) or on an image of the owner's size. Channels are 0 .. 255.
    void Show(QPainter& painter, int startRed, int startGreen, int startBlue, int endRed, int endGreen,
              int endBlue) const;

    // The colours of stripes 0 .. extent (extent + 1 of them) of an area `extent` pixels across.
    static std::vector<QRgb> Stripes(int extent, int startRed, int startGreen, int startBlue, int endRed,
                                     int endGreen, int endBlue);

private:
    QPointer<QWidget> owner_;
    bool upDown_ = false;
};

class InfoFrame : public QWidget {
    Q_OBJECT
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE SetForeColor)
    Q_PROPERTY(quint32 GradientColor READ GradientColor WRITE SetGradientColor)
    Q_PROPERTY(QIcon Icon READ Icon WRITE SetIcon)
    Q_PROPERTY(QString Text READ Text WRITE SetText)

public:
    static constexpr int FrameHeight = 63;
    static constexpr quint32 DefaultBackColor = 7954768; // red 0x50, green 0x61, blue 0x79

    explicit InfoFrame(QWidget* parent = nullptr);

    // OLE colours. The gradient splits BackColor and GradientColor into bytes as they are stored.
    quint32 BackColor() const { return backColor_; }
    void SetBackColor(quint32 value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    quint32 ForeColor() const { return foreColor_; }
    void SetForeColor(quint32 value);
    quint32 GradientColor() const { return gradientColor_; }
    void SetGradientColor(quint32 value);
    QIcon Icon() const { return icon_; }
    void SetIcon(const QIcon& value);
    QString Text() const { return text_; }
    void SetText(const QString& value);

    Q_INVOKABLE void Refresh();

    // The menu of the button at the right end and of the context menu; nullptr hides the button.
    void SetSystemMenu(QMenu* menu);
    QMenu* SystemMenu() const { return menu_; }

    // The Icon key holds "base64:" and the icon as PNG, or a file or resource path to load.
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

signals:
    void Click();
    void DblClick();
    void PropertyChanged(const QString& key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Changed(const QString& key);
    void Apply();
    void FitToParent();
    // Shared by the surface, the image and the label; true when the event was a click or double click.
    bool OnMouse(QWidget* receiver, QEvent* event);

    quint32 backColor_ = DefaultBackColor;
    bool enabled_ = true;
    quint32 foreColor_ = 0;
    quint32 gradientColor_ = DefaultBackColor;
    QIcon icon_;
    QString text_;
    QLabel* image_;
    QLabel* label_;
    QToolButton* menuButton_;
    QPointer<QMenu> menu_;
    bool afterDoubleClick_ = false;
};

} // namespace tolvane
