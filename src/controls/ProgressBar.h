// A progress bar that keeps its own range and position and re-applies them to an inner bar.
//
// The setters keep 0 <= Min < Max and Min <= Value <= Max, ignoring a value that would break
// them. The inner bar (ControlHwnd, a QProgressBar) carries the range as the 16-bit numbers a
// native progress bar holds: Min and Max reach it truncated to their low 16 bits, so a Max above
// 65535 wraps there while the control keeps the full value.
//
// The inner bar paints itself in the classic way rather than through the widget style, which
// draws only smooth bars: Scrolling 0 gives chunks two thirds as wide as the bar is high with
// 2-pixel gaps, Scrolling 1 a continuous bar; Appearance 1 adds a sunken 2-pixel edge and
// BorderStyle 1 a single dark line around it. Orientation and Scrolling build a new inner bar.
#pragma once

#include "controls/PropertyBag.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>

namespace tolvane {

class ProgressWindow;

class ProgressBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Appearance READ Appearance WRITE SetAppearance)
    Q_PROPERTY(int BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(QWidget* ControlHwnd READ ControlHwnd)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE SetForeColor)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(int Orientation READ Orientation WRITE SetOrientation)
    Q_PROPERTY(int Scrolling READ Scrolling WRITE SetScrolling)
    Q_PROPERTY(int Value READ Value WRITE SetValue)

public:
    explicit ProgressBar(QWidget* parent = nullptr);

    int Appearance() const { return appearance_; } // 0 flat, 1 sunken edge
    void SetAppearance(int value);
    int BorderStyle() const { return borderStyle_; } // 0 none, 1 fixed single
    void SetBorderStyle(int value);
    // The inner bar: a QProgressBar.
    QWidget* ControlHwnd() const;
    quint32 ForeColor() const { return foreColor_; } // OLE colour of the bar
    void SetForeColor(quint32 value);
    int Max() const { return max_; }
    void SetMax(int value);
    int Min() const { return min_; }
    void SetMin(int value);
    int Orientation() const { return orientation_; } // 0 horizontal, 1 vertical
    void SetOrientation(int value);
    int Scrolling() const { return scrolling_; } // 0 segmented, 1 smooth
    void SetScrolling(int value);
    int Value() const { return value_; }
    void SetValue(int value);

    Q_INVOKABLE void Refresh();

    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

signals:
    void PropertyChanged(const QString& key);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Changed(const QString& key, bool recreate);
    void Apply(bool recreate);

    quint32 foreColor_ = 0x8000000Du;
    int appearance_ = 0;
    int borderStyle_ = 0;
    int orientation_ = 0;
    int scrolling_ = 0;
    int max_ = 100;
    int min_ = 0;
    int value_ = 0;
    QPointer<ProgressWindow> bar_;
};

} // namespace tolvane
