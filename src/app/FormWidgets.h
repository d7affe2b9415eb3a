// The plain pieces of a window described in a form file, beside the library's controls:
// buttons, labels, images and lines, each placed at its Left/Top/Width/Height in pixels.
#pragma once

#include "controls/PropertyBag.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace tolvane::app {

// A text label that reports clicks (the about box's web address).
class Label : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// A line of one pixel between (X1, Y1) and (X2, Y2) of its parent, in BorderColor (an OLE colour).
class Line : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int X1 READ X1 WRITE SetX1)
    Q_PROPERTY(int Y1 READ Y1 WRITE SetY1)
    Q_PROPERTY(int X2 READ X2 WRITE SetX2)
    Q_PROPERTY(int Y2 READ Y2 WRITE SetY2)
    Q_PROPERTY(quint32 BorderColor READ BorderColor WRITE SetBorderColor)
public:
    explicit Line(QWidget* parent = nullptr);
    int X1() const { return x1_; }
    int Y1() const { return y1_; }
    int X2() const { return x2_; }
    int Y2() const { return y2_; }
    quint32 BorderColor() const { return color_; }
    void SetX1(int v);
    void SetY1(int v);
    void SetX2(int v);
    void SetY2(int v);
    void SetBorderColor(quint32 v);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Place();
    int x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
    quint32 color_ = 0x80000010; // button shadow
};

// Builds the controls a form file describes onto `window` (a section of type "Form" named like
// the window gives its caption and size); each control's object name is its section's name.
// False with "source:line"-free text in `error` for an unknown control type.
bool BuildForm(QWidget* window, const FormFile& form, QString& error);

// Reads a compiled-in form (":/forms/NAME.form"), or the file named by the environment variable
// TOLVANE_FORMS_DIR + "/NAME.form" when that is set (the design mode's saved copies).
bool LoadForm(const QString& name, FormFile& form, QString& error);

// The form as the window now stands: each control's properties written back into its section.
FormFile CaptureForm(const QWidget* window, const FormFile& original);

} // namespace tolvane::app
