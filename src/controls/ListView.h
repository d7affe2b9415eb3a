// The list view control: a report-style list with its own column, item and item-collection objects.
//
// The inner Qt widget (`ControlHwnd`) is a QTreeWidget without root decoration, created by the control
// and re-created when the control is initialised, loaded or its column count changes. Its input
// reaches the control as notifications sent to the control's widget, which the control's window
// procedure (installed with Subclassing on the control and on the inner list) turns into the events.
//
// Decisions where the inner widget differs from a native report list:
// - Coordinates (HitTest, the click notifications) are the inner list's viewport pixels: (0, 0) is
//   the top left corner of the rows' area, below the header and inside the frame. Mouse events on
//   the viewport carry exactly these positions.
// - The "label" of a row is its cell in column 0 without the check box, or, with FullRowSelect, any
//   cell of the row without the check box. Over a row but not its label (the check box, or another
//   column without FullRowSelect) a click raises no event; beyond the last column is "no row".
// - Clicks are reported when the button is released (after the list has selected the row), double
//   clicks on the double-click event; the release that follows a double click reports nothing.
// - Sorting compares with QString::localeAwareCompare, which is case-sensitive in every locale:
//   under LC_ALL=C.UTF-8 it orders by code point (upper case before lower case, "B" before "a"),
//   under a language locale it is the collation order ("a", "A", "b", "B").
// - ListItem objects stand for row positions: an item reads and writes the row at its position,
//   so after a sort an item shows whatever row was sorted into its place, and per-row colours
//   follow the item whose position equals the row.
// - A key pressed in any list is answered by the next selection change of any list, which raises
//   ItemClick(item, 1); a key that moves no selection leaves it pending for a later one.
// - SelectedItem is the focused (current) row when it is selected; ListItem.Selected selects
//   without moving the focused row.
// - A re-created list (a change of Count) gets the rows of the old one back, with their check
//   states; the selection is lost.
// - FlatScrollbar is kept and persisted but changes nothing: the style draws the scroll bars.
#pragma once

#include "controls/PropertyBag.h"
#include "controls/Subclassing.h"

#include <QFont>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

class QTreeWidgetItem;

namespace tolvane {

class ListView;

// The Windows virtual-key code of a Qt key (letters and digits as their upper-case ASCII codes,
// VK_RETURN 0x0D, VK_LEFT..VK_DOWN 0x25..0x28, F1..F24 0x70..0x87, ...); 0 for keys without one.
int VirtualKeyCode(int qtKey);

class Column : public QObject {
    Q_OBJECT
    Q_PROPERTY(int ActualWidth READ ActualWidth WRITE SetActualWidth)
    Q_PROPERTY(int Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(int Index READ Index)
    Q_PROPERTY(QString Tag READ Tag WRITE SetTag)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE SetToolTipText)

public:
    static constexpr int lvwLeft = 0;
    static constexpr int lvwRight = 1;
    static constexpr int lvwCenter = 2;

    int ActualWidth() const { return actualWidth_; }
    void SetActualWidth(int value); // 1 .. 32767
    int Alignment() const { return alignment_; }
    void SetAlignment(int value); // lvwLeft .. lvwCenter
    int Index() const { return index_; }
    QString Tag() const { return tag_; }
    void SetTag(const QString& value);
    QString Text() const { return text_; }
    void SetText(const QString& value);
    QString ToolTipText() const { return toolTipText_; }
    void SetToolTipText(const QString& value);

private:
    friend class ListView;
    Column(ListView* owner, int index);
    void Changed(const char* keyPrefix);

    ListView* owner_;
    int index_;
    int actualWidth_ = 0;
    int alignment_ = lvwLeft;
    QString tag_;
    QString text_;
    QString toolTipText_;
};

class ListItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE SetForeColor)
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)
    Q_PROPERTY(bool Selected READ Selected WRITE SetSelected)
    Q_PROPERTY(QString Tag READ Tag WRITE SetTag)
    Q_PROPERTY(int Index READ Index)

public:
    // Until set, the colours are the list's current text background / text colours (RGB values).
    quint32 BackColor() const;
    void SetBackColor(quint32 value);
    quint32 ForeColor() const;
    void SetForeColor(quint32 value);
    // Read from and written to the row each time.
    bool Checked() const;
    void SetChecked(bool value);
    bool Selected() const;
    void SetSelected(bool value);
    QString Tag() const { return tag_; }
    void SetTag(const QString& value) { tag_ = value; }
    // Column `index` of the row; 0 is the label.
    Q_INVOKABLE QString Text(int index = 0) const;
    Q_INVOKABLE void SetText(int index, const QString& value);
    int Index() const { return row_; }
    // Scrolls the row into view; false when the row does not exist.
    Q_INVOKABLE bool EnsureVisible();

private:
    friend class ListItems;
    friend class ListView;
    ListItem(ListView* owner, int row);
    QTreeWidgetItem* Native() const;
    void RepaintRow() const;

    QPointer<ListView> owner_;
    int row_;
    quint32 backColor_ = 0x80000005;
    quint32 foreColor_ = 0x80000008;
    bool backColorSet_ = false;
    bool foreColorSet_ = false;
    QString tag_;
};

class ListItems : public QObject {
    Q_OBJECT
    Q_PROPERTY(int CheckedCount READ CheckedCount)
    Q_PROPERTY(int Count READ Count)
    Q_PROPERTY(int SelectedCount READ SelectedCount)

public:
    int CheckedCount() const;
    int Count() const { return static_cast<int>(items_.size()); }
    int SelectedCount() const;
    // Nullptr outside 0 .. Count - 1.
    Q_INVOKABLE tolvane::ListItem* Item(int index) const;
    // Appends a row; returns its position, or -1 while the control has no inner list.
    Q_INVOKABLE int Add(const QString& text);
    Q_INVOKABLE void Clear();
    // The items behind `index` move up one place; the rows keep their insertion numbers for sorting.
    Q_INVOKABLE void Remove(int index);

private:
    friend class ListView;
    explicit ListItems(ListView* owner);

    ListView* owner_;
    std::vector<ListItem*> items_;
};

class ListView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool AllowColumnReorder READ AllowColumnReorder WRITE SetAllowColumnReorder)
    Q_PROPERTY(int Appearance READ Appearance WRITE SetAppearance)
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(int BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(bool Checkboxes READ Checkboxes WRITE SetCheckboxes)
    Q_PROPERTY(QWidget* ControlHwnd READ ControlHwnd)
    Q_PROPERTY(int Count READ Count WRITE SetCount)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool FlatScrollbar READ FlatScrollbar WRITE SetFlatScrollbar)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE SetForeColor)
    Q_PROPERTY(bool FullRowSelect READ FullRowSelect WRITE SetFullRowSelect)
    Q_PROPERTY(bool GridLines READ GridLines WRITE SetGridLines)
    Q_PROPERTY(bool HideColumnHeaders READ HideColumnHeaders WRITE SetHideColumnHeaders)
    Q_PROPERTY(bool HideSelection READ HideSelection WRITE SetHideSelection)
    Q_PROPERTY(bool HotTracking READ HotTracking WRITE SetHotTracking)
    Q_PROPERTY(bool HoverSelection READ HoverSelection WRITE SetHoverSelection)
    Q_PROPERTY(int LabelEdit READ LabelEdit WRITE SetLabelEdit)
    Q_PROPERTY(tolvane::ListItems* ListItems READ ListItems)
    Q_PROPERTY(bool MultiSelect READ MultiSelect WRITE SetMultiSelect)
    Q_PROPERTY(bool PreventUpdate READ PreventUpdate WRITE SetPreventUpdate)
    Q_PROPERTY(tolvane::ListItem* SelectedItem READ SelectedItem)
    Q_PROPERTY(bool ShowTips READ ShowTips WRITE SetShowTips)
    Q_PROPERTY(bool Sorted READ Sorted WRITE SetSorted)
    Q_PROPERTY(int SortKey READ SortKey WRITE SetSortKey)
    Q_PROPERTY(int SortOrder READ SortOrder WRITE SetSortOrder)

public:
    static constexpr int lvwFlat = 0, lvw3D = 1;               // Appearance
    static constexpr int lvwNone = 0, lvwFixedSingle = 1;      // BorderStyle
    static constexpr int lvwAutomatic = 0, lvwManual = 1;      // LabelEdit
    static constexpr int lvwAscending = 0, lvwDescending = 1;  // SortOrder

    explicit ListView(QWidget* parent = nullptr);
    ~ListView() override;

    bool AllowColumnReorder() const { return allowColumnReorder_; }
    void SetAllowColumnReorder(bool value);
    int Appearance() const { return appearance_; }
    void SetAppearance(int value);
    quint32 BackColor() const { return backColor_; }
    void SetBackColor(quint32 value);
    int BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int value);
    bool Checkboxes() const { return checkboxes_; }
    void SetCheckboxes(bool value);
    QWidget* ControlHwnd() const;
    // The number of columns (0 .. 32767); a change re-creates the inner list.
    int Count() const { return count_; }
    void SetCount(int value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool FlatScrollbar() const { return flatScrollbar_; }
    void SetFlatScrollbar(bool value);
    QFont Font() const { return font_; }
    void SetFont(const QFont& value);
    quint32 ForeColor() const { return foreColor_; }
    void SetForeColor(quint32 value);
    bool FullRowSelect() const { return fullRowSelect_; }
    void SetFullRowSelect(bool value);
    bool GridLines() const { return gridLines_; }
    void SetGridLines(bool value);
    bool HideColumnHeaders() const { return hideColumnHeaders_; }
    void SetHideColumnHeaders(bool value);
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool value);
    bool HotTracking() const { return hotTracking_; }
    void SetHotTracking(bool value);
    bool HoverSelection() const { return hoverSelection_; }
    void SetHoverSelection(bool value);
    int LabelEdit() const { return labelEdit_; }
    void SetLabelEdit(int value);
    tolvane::ListItems* ListItems() const { return items_; }
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool value);
    bool PreventUpdate() const { return preventUpdate_; }
    void SetPreventUpdate(bool value) { preventUpdate_ = value; }
    // The focused row when it is selected, else nullptr.
    tolvane::ListItem* SelectedItem() const;
    bool ShowTips() const { return showTips_; }
    void SetShowTips(bool value);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool value);
    int SortKey() const { return sortKey_; }
    void SetSortKey(int value); // -32768 .. 32767
    int SortOrder() const { return sortOrder_; }
    void SetSortOrder(int value);

    // Nullptr outside 0 .. Count - 1.
    Q_INVOKABLE tolvane::Column* Column(int index) const;
    Q_INVOKABLE int GetFirstVisible() const;
    Q_INVOKABLE int GetVisibleCount() const;
    // The item at (x, y) in the inner list's viewport pixels, or nullptr.
    Q_INVOKABLE tolvane::ListItem* HitTest(int x, int y) const;
    Q_INVOKABLE void Refresh();
    // One column from its object, or all columns (and the hooks) when `index` is -1.
    Q_INVOKABLE void UpdateColumns(int index);

    // The designer's view of the control: no header tool tips and no sorting while it is set.
    bool DesignMode() const { return designMode_; }
    void SetDesignMode(bool value) { designMode_ = value; }

    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

signals:
    void AfterLabelEdit(bool& Cancel, QString& NewString);
    void BeforeLabelEdit(bool& Cancel);
    void Click(int Button);
    void ColumnClick(tolvane::Column* Column);
    void DblClick(int Button);
    void ItemCheck(tolvane::ListItem* Item);
    void ItemClick(tolvane::ListItem* Item, int Button);
    void ItemDblClick(tolvane::ListItem* Item, int Button);
    void KeyDown(int KeyCode);
    void PropertyChanged(const QString& key);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Tree;
    class Row;
    class Delegate;
    class Notification;
    friend class tolvane::Column;
    friend class tolvane::ListItem;
    friend class tolvane::ListItems;

    struct Hit {
        enum Part { Nowhere, Label, StateIcon, OtherPart };
        int row = -1;
        Part part = Nowhere;
    };

    void MarkChanged(const QString& key) { emit PropertyChanged(key); }
    template <typename T>
    void Store(T& field, const T& value, const char* key);
    void SetDefaults();
    void Recreate();
    void ApplyState();
    void ApplyColumn(int index);
    void Sort();
    int CompareRows(int paramA, int paramB) const;
    Hit HitTestPart(const QPoint& pos) const;
    bool OnNotify(Notification& notification);
    static bool WindowProc(QWidget* window, QEvent* event);

    bool allowColumnReorder_ = false;
    int appearance_ = lvw3D;
    quint32 backColor_ = 0x80000005;
    int borderStyle_ = lvwNone;
    bool checkboxes_ = false;
    int count_ = 0;
    bool enabled_ = true;
    bool flatScrollbar_ = false;
    QFont font_;
    quint32 foreColor_ = 0x80000008;
    bool fullRowSelect_ = false;
    bool gridLines_ = false;
    bool hideColumnHeaders_ = false;
    bool hideSelection_ = true;
    bool hotTracking_ = false;
    bool hoverSelection_ = false;
    int labelEdit_ = lvwAutomatic;
    bool multiSelect_ = false;
    bool preventUpdate_ = false;
    bool showTips_ = true;
    bool sorted_ = false;
    int sortKey_ = 0;
    int sortOrder_ = lvwAscending;
    bool designMode_ = false;

    // What the inner list was last given: its text and text background colours (RGB) and
    // whether its header tool tips are active.
    quint32 textColor_ = 0;
    quint32 textBkColor_ = 0xFFFFFF;
    bool tipsActive_ = false;

    std::vector<tolvane::Column*> columns_;
    tolvane::ListItems* items_;
    Tree* tree_ = nullptr;
    Subclassing controlSubclass_;
    Subclassing listSubclass_;
    TranslateMessage keyboardHook_;
    QHash<int, QString> sortTexts_; // insertion number -> sort text, while sorting
    // A key went down in some list and no selection change has answered it yet.
    static bool keyPressed_;
};

} // namespace tolvane
