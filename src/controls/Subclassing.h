// Hooks a control's "window procedure" into a widget, and routes navigation keys to a control.
//
// Subclassing: an event filter on one widget that calls the control's procedure first. While it
// is installed the widget carries a dynamic property named `WindowProc` pointing at the filter
// (Qt has no accessor for earlier filters) and the name/value pairs given with Add, by which a
// plain procedure finds its control again.
//
// TranslateMessage: while the control's inner view has the keyboard focus, the navigation keys
// (arrows, Page Up/Down, Home, End, Enter) go to that view (the control's "ControlHwnd") before
// the dialog can use them for its default button or shortcuts; Tab still moves the focus.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <vector>

class QKeyEvent;

namespace tolvane {

class Subclassing {
public:
    // The control's procedure: true when it consumed the event (it then does not reach the widget).
    using WindowProcedure = std::function<bool(QWidget* window, QEvent* event)>;

    Subclassing() = default;
    ~Subclassing();
    Subclassing(const Subclassing&) = delete;
    Subclassing& operator=(const Subclassing&) = delete;

    bool Active() const { return active_; }
    QWidget* OwnerHwnd() const { return owner_; }
    void SetOwnerHwnd(QWidget* window) { owner_ = window; }
    QString WindowProc() const { return windowProc_; }
    void SetWindowProc(const QString& name) { windowProc_ = name; }

    // Further properties set on the window while it is subclassed; they take effect at the next Create.
    void Add(const QString& atom, const QVariant& handle);
    void Clear();

    // False when the window is already subclassed (nothing changes, Active becomes true) or when
    // there is no window to subclass.
    bool Create(WindowProcedure callback);
    // Puts the window back; the names and values added stay for the next Create.
    void Destroy();

private:
    class Filter;
    bool active_ = false;
    QPointer<QWidget> owner_;
    QString windowProc_;
    QStringList names_;
    std::vector<QVariant> values_;
    QPointer<Filter> filter_; // the "previous procedure": present while subclassed
    QPointer<QWidget> subclassed_;
    QStringList setNames_;
};

class TranslateMessage {
public:
    // Result codes of the accelerator routine, as its callers expect them.
    static constexpr int S_OK_ = 0;
    static constexpr int S_FALSE_ = 1;

    // The routine that sees each key event first: returns S_OK_ when the key was dealt with.
    using Accelerator = std::function<int(TranslateMessage& hook, QKeyEvent* key)>;

    TranslateMessage() = default;
    ~TranslateMessage();
    TranslateMessage(const TranslateMessage&) = delete;
    TranslateMessage& operator=(const TranslateMessage&) = delete;

    bool Active() const { return active_; }
    QObject* Control() const { return control_; }
    void SetControl(QObject* control) { control_ = control; }
    bool HandleSpecialKeys() const { return handleSpecialKeys_; }
    void SetHandleSpecialKeys(bool value) { handleSpecialKeys_ = value; }
    bool TranslateSpecialKeys() const { return translateSpecialKeys_; }
    void SetTranslateSpecialKeys(bool value) { translateSpecialKeys_ = value; }

    // Installs the hook; false when one exists already (Active becomes true) or there is no control.
    // Without a callback the library's own routine (TranslateAccelerator below) is used.
    bool Create(Accelerator callback = {});
    // Makes the hook the one that sees keys; the control calls it when its inner view gains the focus.
    void Translate();
    void Destroy();

    // The library's routine: with TranslateSpecialKeys false, a navigation key goes to the
    // control's "ControlHwnd" and counts as handled when HandleSpecialKeys is true; Tab and every
    // other key are left to the window.
    static int TranslateAccelerator(TranslateMessage& hook, QKeyEvent* key);

    // Arrows, Page Up/Down, Home, End and Enter: the keys a list must get before its dialog.
    static bool IsNavigationKey(int qtKey);

private:
    class Hook;
    bool active_ = false;
    QPointer<QObject> control_;
    bool handleSpecialKeys_ = false;
    bool translateSpecialKeys_ = false;
    // The record's copies of the flags, taken by Create.
    bool hookHandleSpecialKeys_ = false;
    bool hookTranslateSpecialKeys_ = false;
    Hook* hook_ = nullptr;
    friend class Hook;
};

} // namespace tolvane
