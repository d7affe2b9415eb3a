#include "controls/ListView.h"

#include "controls/SystemColors.h"
#include "util/Colors.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace tolvane {

namespace {

constexpr int kMaxInt16 = 32767;
constexpr int kMinInt16 = -32768;
// Item states as the list reports them when an item changes.
constexpr int kStateSelected = 0x0002;
constexpr int kStateImageMask = 0xF000;
constexpr int kStateUnchecked = 0x1000;
constexpr int kStateChecked = 0x2000;
// The sort comparison reads each text into a 256-character buffer.
constexpr int kSortTextLength = 255;
// The system's default mouse hover time, after which hover selection picks the row.
constexpr int kHoverMilliseconds = 400;
// COLOR_HOTLIGHT: the text colour of the hot row while hot tracking.
constexpr quint32 kHotLight = Colors::SystemColor | 26;

QColor ToQColor(quint32 rgb)
{
    return RgbColor(static_cast<std::int32_t>(rgb));
}

// The RGB value of an OLE colour; `fallback` when it cannot be translated.
quint32 TranslateOr(quint32 clr, quint32 fallback)
{
    const std::int32_t rgb = Colors::Translate(clr);
    return rgb < 0 ? fallback : static_cast<quint32>(rgb);
}

QString ColumnKey(const char* prefix, int index)
{
    return QLatin1String(prefix) + QString::number(index) + QLatin1Char(')');
}

int ClampInt16(qint64 value)
{
    return static_cast<int>(std::clamp<qint64>(value, kMinInt16, kMaxInt16));
}

} // namespace

int VirtualKeyCode(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey; // the same codes as the upper-case letters and the digits
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 0x70 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 0x09;
    case Qt::Key_Clear: return 0x0C;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Print: return 0x2C;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_Help: return 0x2F;
    case Qt::Key_Meta: return 0x5B;
    case Qt::Key_Menu: return 0x5D;
    case Qt::Key_NumLock: return 0x90;
    case Qt::Key_ScrollLock: return 0x91;
    // Shifted digits of a US keyboard carry the digit's code.
    case Qt::Key_ParenRight: return '0';
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_Asterisk: return '8';
    case Qt::Key_ParenLeft: return '9';
    // Punctuation keys of a US keyboard (VK_OEM_*), shifted or not.
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 0xBA;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 0xBB;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 0xBC;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 0xBD;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 0xBE;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 0xBF;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 0xC0;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 0xDB;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 0xDC;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 0xDD;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 0xDE;
    default: return 0;
    }
}

// What the inner list tells the control's widget; it travels as an event through the control's
// window procedure, which answers in `result` (and, for drawing, in the colours).
class ListView::Notification : public QEvent {
public:
    enum Code { CustomDraw, Click, DblClick, RClick, RDblClick, KeyDown, ItemChanged, ColumnClick, BeginLabelEdit, EndLabelEdit };

    explicit Notification(Code c) : QEvent(EventType()), code(c) {}

    static QEvent::Type EventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    Code code;
    int row = -1;
    int column = -1;
    QPoint pos;
    int keyCode = 0;
    int oldState = 0;
    int newState = 0;
    bool hasText = false; // an ended edit carries the typed text; a cancelled one none
    QString text;
    quint32 textColor = 0;
    quint32 textBkColor = 0;
    int result = 0;
};

// One row of the inner list. It carries the position its item object had when it was added (the
// sort finds texts by it) and its check state, which exists with or without visible check boxes.
class ListView::Row : public QTreeWidgetItem {
public:
    explicit Row(int param) : QTreeWidgetItem(UserType), param_(param)
    {
        setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
    }

    int Param() const { return param_; }
    int StateImage() const { return stateImage_; }
    void SetStateImage(int image);
    void Repaint() { emitDataChanged(); }

    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant& value) override;
    bool operator<(const QTreeWidgetItem& other) const override;

private:
    Tree* OwnerTree() const;

    int param_;
    int stateImage_ = 0;
};

// The item painting of the inner list: per-row colours asked from the control, column alignment,
// grid lines, hidden selection, hot tracking; and the start and end of label editing.
class ListView::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(Tree* tree);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void PrepareOption(QStyleOptionViewItem* option, const QModelIndex& index) const { initStyleOption(option, index); }

private:
    Tree* tree_;
    // A label edit has begun and its end has not been reported yet.
    mutable bool editing_ = false;
    mutable int editRow_ = -1;
};

// The inner list: a QTreeWidget that reports clicks, keys, selection and check changes, header
// clicks and label editing to the control's widget.
class ListView::Tree : public QTreeWidget {
public:
    explicit Tree(ListView* owner);

    ListView* Owner() const { return owner_; }
    // Cuts the list off from its control before it goes away.
    void Detach() { owner_ = nullptr; }
    bool Notify(Notification& notification) { return owner_ && QCoreApplication::sendEvent(owner_, &notification); }
    Row* RowAt(int row) const { return static_cast<Row*>(topLevelItem(row)); }
    QModelIndex IndexOfRow(int row) const { return model()->index(row, 0); }
    // The check box of a cell in viewport pixels; empty when it has none.
    QRect CheckRect(const QModelIndex& index) const;
    int RowHeight() const;
    bool HasFocusWithin() const;
    bool CheckboxesShown() const { return checkboxesShown_; }
    void SetCheckboxesShown(bool value) { checkboxesShown_ = value; }

    using QTreeWidget::edit;

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void NotifyClick(Notification::Code code, const QPoint& pos);
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void NotifySelection(int row, bool nowSelected);

    ListView* owner_;
    bool checkboxesShown_ = false;
    Qt::MouseButton pressed_ = Qt::NoButton;
    bool afterDoubleClick_ = false;
    // Selection changes made by a key press, reported once the view has finished with the key
    // (a handler that deselects the row must have the last word).
    bool inKeyPress_ = false;
    std::vector<std::pair<int, bool>> keySelection_;
    QTimer hoverTimer_;
    QPoint hoverPos_;
};

// ---- Row ----

ListView::Tree* ListView::Row::OwnerTree() const
{
    return static_cast<Tree*>(treeWidget());
}

void ListView::Row::SetStateImage(int image)
{
    if (image == stateImage_)
        return;
    const int old = stateImage_;
    stateImage_ = image;
    emitDataChanged();
    if (Tree* tree = OwnerTree()) {
        Notification n(Notification::ItemChanged);
        n.row = tree->indexOfTopLevelItem(this);
        const int selected = isSelected() ? kStateSelected : 0;
        n.oldState = old | selected;
        n.newState = image | selected;
        tree->Notify(n);
    }
}

QVariant ListView::Row::data(int column, int role) const
{
    if (column != 0 || role != Qt::CheckStateRole)
        return QTreeWidgetItem::data(column, role);
    const Tree* tree = OwnerTree();
    if (!tree || !tree->CheckboxesShown() || stateImage_ == 0)
        return {};
    return static_cast<int>(stateImage_ == kStateChecked ? Qt::Checked : Qt::Unchecked);
}

void ListView::Row::setData(int column, int role, const QVariant& value)
{
    if (column == 0 && role == Qt::CheckStateRole) {
        SetStateImage(value.toInt() == Qt::Checked ? kStateChecked : kStateUnchecked);
        return;
    }
    QTreeWidgetItem::setData(column, role, value);
}

bool ListView::Row::operator<(const QTreeWidgetItem& other) const
{
    const Tree* tree = OwnerTree();
    if (!tree || !tree->Owner() || other.type() != UserType)
        return QTreeWidgetItem::operator<(other);
    return tree->Owner()->CompareRows(param_, static_cast<const Row&>(other).param_) < 0;
}

// ---- Delegate ----

ListView::Delegate::Delegate(Tree* tree) : QStyledItemDelegate(tree), tree_(tree)
{
    // Escape closes the editor without committing: the end is reported without a text.
    connect(this, &QAbstractItemDelegate::closeEditor, this, [this] {
        if (!editing_)
            return;
        editing_ = false;
        Notification n(Notification::EndLabelEdit);
        n.row = editRow_;
        tree_->Notify(n);
    });
}

void ListView::Delegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const ListView* owner = tree_->Owner();
    if (owner) {
        Notification n(Notification::CustomDraw);
        n.row = index.row();
        n.textColor = owner->textColor_;
        n.textBkColor = owner->textBkColor_;
        tree_->Notify(n);
        opt.palette.setColor(QPalette::Text, ToQColor(n.textColor));
        opt.backgroundBrush = ToQColor(n.textBkColor);
        const QVariant alignment = tree_->headerItem()->data(index.column(), Qt::TextAlignmentRole);
        if (alignment.isValid())
            opt.displayAlignment = Qt::Alignment::fromInt(alignment.toInt());
        // Without full-row selection only the label shows the selection.
        if (!owner->fullRowSelect_ && index.column() != 0)
            opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        if (owner->hideSelection_ && !tree_->HasFocusWithin())
            opt.state &= ~QStyle::State_Selected;
        if (owner->hotTracking_ && (opt.state & QStyle::State_MouseOver)) {
            opt.font.setUnderline(true);
            opt.palette.setColor(QPalette::Text, ToQColor(TranslateOr(kHotLight, n.textColor)));
        }
    }
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    if (owner && owner->gridLines_) {
        painter->save();
        painter->setPen(ToQColor(TranslateOr(Colors::ButtonFace, 0xC0C0C0)));
        painter->drawLine(opt.rect.bottomLeft(), opt.rect.bottomRight());
        painter->drawLine(opt.rect.topRight(), opt.rect.bottomRight());
        painter->restore();
    }
}

QWidget* ListView::Delegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (index.column() != 0)
        return nullptr; // only labels are edited
    const QPersistentModelIndex target(index);
    Notification n(Notification::BeginLabelEdit);
    n.row = index.row();
    tree_->Notify(n);
    if (n.result != 0 || !target.isValid())
        return nullptr;
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, target);
    if (editor) {
        editing_ = true;
        editRow_ = target.row();
    }
    return editor;
}

void ListView::Delegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (!editing_)
        return; // the end of this edit was reported already
    editing_ = false;
    const QPersistentModelIndex target(index);
    const auto* line = qobject_cast<const QLineEdit*>(editor);
    Notification n(Notification::EndLabelEdit);
    n.row = index.row();
    n.hasText = true;
    n.text = line ? line->text() : index.data(Qt::EditRole).toString();
    tree_->Notify(n);
    if (n.result != 0 && target.isValid())
        model->setData(target, n.text, Qt::EditRole);
}

// ---- Tree ----

ListView::Tree::Tree(ListView* owner) : QTreeWidget(owner), owner_(owner)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false); // rows move only through the control's own sort
    setSelectionBehavior(SelectRows);
    setAllColumnsShowFocus(true);
    setVerticalScrollMode(ScrollPerItem);
    setTabKeyNavigation(false);
    setColumnCount(0);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setItemDelegate(new Delegate(this));

    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(kHoverMilliseconds);
    connect(&hoverTimer_, &QTimer::timeout, this, [this] {
        if (QTreeWidgetItem* item = itemAt(hoverPos_))
            setCurrentItem(item);
    });
    connect(header(), &QHeaderView::sectionClicked, this, [this](int section) {
        Notification n(Notification::ColumnClick);
        n.column = section;
        Notify(n);
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &Tree::SelectionChanged);
}

QRect ListView::Tree::CheckRect(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.rect = visualRect(index);
    static_cast<const Delegate*>(itemDelegate())->PrepareOption(&opt, index);
    if (!(opt.features & QStyleOptionViewItem::HasCheckIndicator))
        return {};
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, this);
}

int ListView::Tree::RowHeight() const
{
    if (topLevelItemCount() > 0 && columnCount() > 0) {
        const int height = sizeHintForRow(0);
        if (height > 0)
            return height;
    }
    // An empty list measures a one-line row of its font.
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.features |= QStyleOptionViewItem::HasDisplay;
    opt.text = QStringLiteral("Xg");
    return std::max(1, style()->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), this).height());
}

bool ListView::Tree::HasFocusWithin() const
{
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

bool ListView::Tree::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // F2 edits the focused row's label whichever of its cells is current.
    if (trigger == EditKeyPressed && index.isValid() && index.column() != 0)
        return QTreeWidget::edit(index.siblingAtColumn(0), trigger, event);
    return QTreeWidget::edit(index, trigger, event);
}

void ListView::Tree::keyPressEvent(QKeyEvent* event)
{
    Notification n(Notification::KeyDown);
    n.keyCode = VirtualKeyCode(event->key());
    Notify(n);
    inKeyPress_ = true;
    keySelection_.clear();
    QTreeWidget::keyPressEvent(event);
    inKeyPress_ = false;
    const auto changes = std::move(keySelection_);
    keySelection_.clear();
    for (const auto& [row, nowSelected] : changes)
        NotifySelection(row, nowSelected);
    // The list keeps its navigation keys: Enter must not go on to the window's default button.
    if (TranslateMessage::IsNavigationKey(event->key()))
        event->accept();
}

void ListView::Tree::mousePressEvent(QMouseEvent* event)
{
    afterDoubleClick_ = false;
    pressed_ = event->button();
    QTreeWidget::mousePressEvent(event);
}

void ListView::Tree::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    const bool report = !afterDoubleClick_ && event->button() == pressed_;
    pressed_ = Qt::NoButton;
    afterDoubleClick_ = false;
    if (!report)
        return;
    if (event->button() == Qt::LeftButton)
        NotifyClick(Notification::Click, event->position().toPoint());
    else if (event->button() == Qt::RightButton)
        NotifyClick(Notification::RClick, event->position().toPoint());
}

void ListView::Tree::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    afterDoubleClick_ = true; // the release that follows is part of the double click
    if (event->button() == Qt::LeftButton)
        NotifyClick(Notification::DblClick, event->position().toPoint());
    else if (event->button() == Qt::RightButton)
        NotifyClick(Notification::RDblClick, event->position().toPoint());
}

void ListView::Tree::mouseMoveEvent(QMouseEvent* event)
{
    QTreeWidget::mouseMoveEvent(event);
    if (owner_ && owner_->hoverSelection_ && event->buttons() == Qt::NoButton) {
        hoverPos_ = event->position().toPoint();
        hoverTimer_.start();
    }
}

void ListView::Tree::NotifyClick(Notification::Code code, const QPoint& pos)
{
    Notification n(code);
    n.pos = pos;
    Notify(n);
}

void ListView::Tree::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    const auto rowsOf = [](const QItemSelection& selection) {
        QList<int> rows;
        for (const QModelIndex& index : selection.indexes())
            if (!rows.contains(index.row()))
                rows.append(index.row());
        return rows;
    };
    const auto notify = [this](int row, bool nowSelected) {
        if (inKeyPress_)
            keySelection_.emplace_back(row, nowSelected);
        else
            NotifySelection(row, nowSelected);
    };
    for (int row : rowsOf(deselected))
        notify(row, false);
    for (int row : rowsOf(selected))
        notify(row, true);
}

void ListView::Tree::NotifySelection(int row, bool nowSelected)
{
    const Row* item = RowAt(row);
    const int image = item ? item->StateImage() : 0;
    Notification n(Notification::ItemChanged);
    n.row = row;
    n.oldState = image | (nowSelected ? 0 : kStateSelected);
    n.newState = image | (nowSelected ? kStateSelected : 0);
    Notify(n);
}

// ---- Column ----

Column::Column(ListView* owner, int index) : QObject(owner), owner_(owner), index_(index) {}

void Column::SetActualWidth(int value)
{
    if (value < 1 || value > kMaxInt16)
        return;
    actualWidth_ = value;
    Changed("ColumnActualWidth(");
}

void Column::SetAlignment(int value)
{
    if (value < lvwLeft || value > lvwCenter)
        return;
    alignment_ = value;
    Changed("ColumnAlignment(");
}

void Column::SetTag(const QString& value)
{
    tag_ = value;
    Changed("ColumnTag(");
}

void Column::SetText(const QString& value)
{
    text_ = value;
    Changed("ColumnText(");
}

void Column::SetToolTipText(const QString& value)
{
    toolTipText_ = value;
    Changed("ColumnToolTipText(");
}

void Column::Changed(const char* keyPrefix)
{
    owner_->MarkChanged(ColumnKey(keyPrefix, index_));
    owner_->UpdateColumns(index_);
}

// ---- ListItem ----

ListItem::ListItem(ListView* owner, int row) : QObject(owner->items_), owner_(owner), row_(row) {}

QTreeWidgetItem* ListItem::Native() const
{
    const ListView::Tree* tree = owner_ ? owner_->tree_ : nullptr;
    if (!tree || row_ < 0 || row_ >= tree->topLevelItemCount())
        return nullptr;
    return tree->topLevelItem(row_);
}

void ListItem::RepaintRow() const
{
    if (Native())
        owner_->tree_->viewport()->update();
}

quint32 ListItem::BackColor() const
{
    return backColorSet_ || !owner_ ? backColor_ : owner_->textBkColor_;
}

void ListItem::SetBackColor(quint32 value)
{
    backColor_ = value;
    backColorSet_ = true;
    RepaintRow();
}

quint32 ListItem::ForeColor() const
{
    return foreColorSet_ || !owner_ ? foreColor_ : owner_->textColor_;
}

void ListItem::SetForeColor(quint32 value)
{
    foreColor_ = value;
    foreColorSet_ = true;
    RepaintRow();
}

bool ListItem::Checked() const
{
    const auto* row = static_cast<const ListView::Row*>(Native());
    return row && row->StateImage() == kStateChecked;
}

void ListItem::SetChecked(bool value)
{
    if (auto* row = static_cast<ListView::Row*>(Native()))
        row->SetStateImage(value ? kStateChecked : kStateUnchecked);
}

bool ListItem::Selected() const
{
    const QTreeWidgetItem* row = Native();
    return row && row->isSelected();
}

void ListItem::SetSelected(bool value)
{
    if (!Native())
        return;
    ListView::Tree* tree = owner_->tree_;
    const QModelIndex index = tree->IndexOfRow(row_);
    if (!index.isValid())
        return;
    // A single-selection list never holds two selected rows.
    QItemSelectionModel::SelectionFlags command = QItemSelectionModel::Deselect;
    if (value)
        command = owner_->multiSelect_ ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect;
    tree->selectionModel()->select(index, command | QItemSelectionModel::Rows);
}

QString ListItem::Text(int index) const
{
    const QTreeWidgetItem* row = Native();
    return row && index >= 0 ? row->text(index) : QString();
}

void ListItem::SetText(int index, const QString& value)
{
    if (QTreeWidgetItem* row = Native(); row && index >= 0)
        row->setText(index, value);
}

bool ListItem::EnsureVisible()
{
    QTreeWidgetItem* row = Native();
    if (!row)
        return false;
    owner_->tree_->scrollToItem(row);
    return true;
}

// ---- ListItems ----

ListItems::ListItems(ListView* owner) : QObject(owner), owner_(owner) {}

int ListItems::CheckedCount() const
{
    return static_cast<int>(std::count_if(items_.begin(), items_.end(), [](const ListItem* item) { return item->Checked(); }));
}

int ListItems::SelectedCount() const
{
    const ListView::Tree* tree = owner_->tree_;
    int count = 0;
    for (int row = 0; tree && row < tree->topLevelItemCount(); ++row)
        count += tree->topLevelItem(row)->isSelected() ? 1 : 0;
    return count;
}

ListItem* ListItems::Item(int index) const
{
    return index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)] : nullptr;
}

int ListItems::Add(const QString& text)
{
    ListView::Tree* tree = owner_->tree_;
    if (!tree)
        return -1;
    const int n = Count();
    auto* item = new ListItem(owner_, n);
    items_.push_back(item);
    auto* row = new ListView::Row(n);
    row->setText(0, text);
    if (owner_->checkboxes_)
        row->SetStateImage(kStateUnchecked); // not in the list yet: no change is reported
    tree->insertTopLevelItem(std::min(n, tree->topLevelItemCount()), row);
    item->row_ = tree->indexOfTopLevelItem(row);
    if (owner_->sorted_)
        owner_->Sort();
    return n;
}

void ListItems::Clear()
{
    if (ListView::Tree* tree = owner_->tree_)
        tree->clear();
    for (ListItem* item : items_) {
        item->owner_ = nullptr;
        item->row_ = -1;
        item->deleteLater();
    }
    items_.clear();
}

void ListItems::Remove(int index)
{
    if (index < 0 || index >= Count())
        return;
    ListItem* gone = items_[static_cast<std::size_t>(index)];
    items_.erase(items_.begin() + index);
    for (std::size_t position = static_cast<std::size_t>(index); position < items_.size(); ++position)
        items_[position]->row_ = static_cast<int>(position);
    gone->owner_ = nullptr;
    gone->row_ = -1;
    gone->deleteLater();
    if (ListView::Tree* tree = owner_->tree_; tree && index < tree->topLevelItemCount())
        delete tree->takeTopLevelItem(index);
}

// ---- ListView ----

bool ListView::keyPressed_ = false;

ListView::ListView(QWidget* parent) : QWidget(parent), items_(new tolvane::ListItems(this))
{
    setFocusPolicy(Qt::NoFocus); // the inner list takes the focus
    SetDefaults();
    Recreate();
}

ListView::~ListView()
{
    controlSubclass_.Destroy();
    listSubclass_.Destroy();
    keyboardHook_.Destroy();
    if (tree_) {
        tree_->Detach();
        delete tree_;
        tree_ = nullptr;
    }
}

void ListView::SetDefaults()
{
    allowColumnReorder_ = false;
    appearance_ = lvw3D;
    backColor_ = Colors::WindowBackground;
    borderStyle_ = lvwNone;
    checkboxes_ = false;
    count_ = 0;
    enabled_ = true;
    flatScrollbar_ = false;
    font_ = QWidget::font(); // the container's font
    foreColor_ = Colors::WindowText;
    fullRowSelect_ = false;
    gridLines_ = false;
    hideColumnHeaders_ = false;
    hideSelection_ = true;
    hotTracking_ = false;
    hoverSelection_ = false;
    labelEdit_ = lvwAutomatic;
    multiSelect_ = false;
    showTips_ = true;
    sorted_ = false;
    sortKey_ = 0;
    sortOrder_ = lvwAscending;
}

template <typename T>
void ListView::Store(T& field, const T& value, const char* key)
{
    field = value;
    MarkChanged(QLatin1String(key));
    ApplyState();
}

void ListView::SetAllowColumnReorder(bool value)
{
    Store(allowColumnReorder_, value, "AllowColumnReorder");
}

void ListView::SetAppearance(int value)
{
    if (value == lvwFlat || value == lvw3D)
        Store(appearance_, value, "Appearance");
}

void ListView::SetBackColor(quint32 value)
{
    Store(backColor_, value, "BackColor");
}

void ListView::SetBorderStyle(int value)
{
    if (value == lvwNone || value == lvwFixedSingle)
        Store(borderStyle_, value, "BorderStyle");
}

void ListView::SetCheckboxes(bool value)
{
    Store(checkboxes_, value, "Checkboxes");
}

QWidget* ListView::ControlHwnd() const
{
    return tree_;
}

void ListView::SetCount(int value)
{
    if (value < 0 || value > kMaxInt16)
        return;
    count_ = value;
    MarkChanged(QStringLiteral("Count"));
    Recreate();
}

void ListView::SetEnabled(bool value)
{
    Store(enabled_, value, "Enabled");
}

void ListView::SetFlatScrollbar(bool value)
{
    Store(flatScrollbar_, value, "FlatScrollbar");
}

void ListView::SetFont(const QFont& value)
{
    Store(font_, value, "Font");
}

void ListView::SetForeColor(quint32 value)
{
    Store(foreColor_, value, "ForeColor");
}

void ListView::SetFullRowSelect(bool value)
{
    Store(fullRowSelect_, value, "FullRowSelect");
}

void ListView::SetGridLines(bool value)
{
    Store(gridLines_, value, "GridLines");
}

void ListView::SetHideColumnHeaders(bool value)
{
    Store(hideColumnHeaders_, value, "HideColumnHeaders");
}

void ListView::SetHideSelection(bool value)
{
    Store(hideSelection_, value, "HideSelection");
}

void ListView::SetHotTracking(bool value)
{
    Store(hotTracking_, value, "HotTracking");
}

void ListView::SetHoverSelection(bool value)
{
    Store(hoverSelection_, value, "HoverSelection");
}

void ListView::SetLabelEdit(int value)
{
    if (value == lvwAutomatic || value == lvwManual)
        Store(labelEdit_, value, "LabelEdit");
}

void ListView::SetMultiSelect(bool value)
{
    Store(multiSelect_, value, "MultiSelect");
}

void ListView::SetShowTips(bool value)
{
    Store(showTips_, value, "ShowTips");
}

void ListView::SetSorted(bool value)
{
    Store(sorted_, value, "Sorted");
}

void ListView::SetSortKey(int value)
{
    if (value >= kMinInt16 && value <= kMaxInt16)
        Store(sortKey_, value, "SortKey");
}

void ListView::SetSortOrder(int value)
{
    if (value == lvwAscending || value == lvwDescending)
        Store(sortOrder_, value, "SortOrder");
}

ListItem* ListView::SelectedItem() const
{
    if (!tree_)
        return nullptr;
    const QModelIndex current = tree_->currentIndex();
    if (!current.isValid() || !tree_->selectionModel()->isSelected(current.siblingAtColumn(0)))
        return nullptr;
    return items_->Item(current.row());
}

Column* ListView::Column(int index) const
{
    if (index < 0 || index >= count_ || index >= static_cast<int>(columns_.size()))
        return nullptr;
    return columns_[static_cast<std::size_t>(index)];
}

int ListView::GetFirstVisible() const
{
    // The list scrolls by whole rows, so the scroll position is the top row.
    return tree_ && tree_->topLevelItemCount() > 0 ? tree_->verticalScrollBar()->value() : 0;
}

int ListView::GetVisibleCount() const
{
    return tree_ ? tree_->viewport()->height() / tree_->RowHeight() : 0;
}

ListItem* ListView::HitTest(int x, int y) const
{
    const Hit hit = HitTestPart(QPoint(x, y));
    return hit.row >= 0 ? items_->Item(hit.row) : nullptr;
}

void ListView::Refresh()
{
    if (tree_)
        tree_->viewport()->update();
    update();
}

void ListView::UpdateColumns(int index)
{
    if (!tree_ || preventUpdate_)
        return;
    if (index != -1) {
        if (Column(index))
            ApplyColumn(index);
        return;
    }
    // All columns afresh: their texts, widths, alignments and places (a reordering by the user
    // ends here), and the header tool tips.
    tree_->setColumnCount(count_);
    QHeaderView* header = tree_->header();
    for (int i = 0; i < count_; ++i) {
        if (header->visualIndex(i) != i)
            header->moveSection(header->visualIndex(i), i);
        ApplyColumn(i);
        tree_->headerItem()->setData(i, Qt::ToolTipRole, columns_[static_cast<std::size_t>(i)]->ToolTipText());
    }

    const QVariant self = QVariant::fromValue<QObject*>(this);
    if (!controlSubclass_.Active()) {
        controlSubclass_.SetOwnerHwnd(this);
        controlSubclass_.SetWindowProc(QStringLiteral("ListViewWindowProc"));
        controlSubclass_.Clear();
        controlSubclass_.Add(QStringLiteral("ListView"), self);
        controlSubclass_.Create(&ListView::WindowProc);
    }
    if (!listSubclass_.Active()) {
        listSubclass_.SetOwnerHwnd(tree_);
        listSubclass_.SetWindowProc(QStringLiteral("ListViewWindowProc"));
        listSubclass_.Clear();
        listSubclass_.Add(QStringLiteral("ListView"), self);
        listSubclass_.Create(&ListView::WindowProc);
    }
    if (!keyboardHook_.Active()) {
        keyboardHook_.SetControl(this);
        keyboardHook_.SetHandleSpecialKeys(true);
        keyboardHook_.SetTranslateSpecialKeys(false);
        keyboardHook_.Create(&TranslateMessage::TranslateAccelerator);
    }
}

void ListView::ApplyColumn(int index)
{
    const tolvane::Column* column = columns_[static_cast<std::size_t>(index)];
    QTreeWidgetItem* header = tree_->headerItem();
    header->setText(index, column->Text());
    tree_->header()->resizeSection(index, column->ActualWidth());
    // The first column of a report list is always left-aligned.
    using Align = tolvane::Column;
    const int alignment = index == 0 ? Align::lvwLeft : column->Alignment();
    Qt::Alignment flags = Qt::AlignVCenter;
    flags |= alignment == Align::lvwRight ? Qt::AlignRight : alignment == Align::lvwCenter ? Qt::AlignHCenter : Qt::AlignLeft;
    header->setData(index, Qt::TextAlignmentRole, flags.toInt());
    tree_->viewport()->update();
}

void ListView::Recreate()
{
    Tree* old = tree_;
    QList<QTreeWidgetItem*> rows;
    bool hadFocus = false;
    if (old) {
        controlSubclass_.Destroy();
        listSubclass_.Destroy();
        keyboardHook_.Destroy();
        hadFocus = old->HasFocusWithin();
        old->Detach();
        old->header()->viewport()->removeEventFilter(this);
        rows = old->invisibleRootItem()->takeChildren();
    }
    tree_ = new Tree(this);
    tree_->setGeometry(rect());
    tree_->header()->viewport()->installEventFilter(this);
    tree_->invisibleRootItem()->addChildren(rows);
    setFocusProxy(tree_);
    tipsActive_ = true; // a new tool tip window starts active
    tree_->show();
    ApplyState();
    if (old) {
        if (hadFocus)
            tree_->setFocus(Qt::OtherFocusReason);
        // Not deleted at once: the old list may be inside one of its own event handlers.
        old->hide();
        old->deleteLater();
    }
}

void ListView::ApplyState()
{
    if (!tree_)
        return;
    Tree& tree = *tree_;

    // The sunken edge of the 3-D look, else a single line for a fixed border, else none.
    if (appearance_ == lvw3D) {
        tree.setFrameShape(QFrame::StyledPanel);
        tree.setFrameShadow(QFrame::Sunken);
    } else if (borderStyle_ == lvwFixedSingle) {
        tree.setFrameShape(QFrame::Box);
        tree.setFrameShadow(QFrame::Plain);
        tree.setLineWidth(1);
    } else {
        tree.setFrameShape(QFrame::NoFrame);
    }
    tree.header()->setHidden(hideColumnHeaders_);
    tree.setEditTriggers(labelEdit_ == lvwAutomatic ? QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked
                                                    : QAbstractItemView::NoEditTriggers);
    tree.setSelectionMode(multiSelect_ ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);

    tree.header()->setSectionsMovable(allowColumnReorder_);
    const bool checkboxesChanged = tree.CheckboxesShown() != checkboxes_;
    tree.SetCheckboxesShown(checkboxes_);
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        Row* row = tree.RowAt(i);
        if (checkboxes_ && row->StateImage() == 0)
            row->SetStateImage(kStateUnchecked); // every row gets a box, unchecked
        else if (checkboxesChanged)
            row->Repaint();
    }

    textBkColor_ = TranslateOr(backColor_, textBkColor_);
    textColor_ = TranslateOr(foreColor_, textColor_);
    QPalette palette = tree.palette();
    palette.setColor(QPalette::Base, ToQColor(textBkColor_));
    palette.setColor(QPalette::Text, ToQColor(textColor_));
    tree.setPalette(palette);
    tree.setEnabled(enabled_);

    // Whole points, bold or normal weight, as the list's font is made from the property.
    QFont font(font_.family());
    const qreal points = font_.pointSizeF() > 0 ? font_.pointSizeF() : QFontInfo(font_).pointSizeF();
    font.setPointSize(std::max(1, qRound(points)));
    font.setWeight(font_.bold() ? QFont::Bold : QFont::Normal);
    font.setItalic(font_.italic());
    font.setUnderline(font_.underline());
    font.setStrikeOut(font_.strikeOut());
    tree.setFont(font);

    if (!designMode_) {
        tipsActive_ = showTips_;
        if (sorted_)
            Sort();
    }

    while (static_cast<int>(columns_.size()) < count_)
        columns_.push_back(new tolvane::Column(this, static_cast<int>(columns_.size())));
    UpdateColumns(-1);
    tree.viewport()->update();
}

void ListView::Sort()
{
    if (!tree_ || tree_->topLevelItemCount() == 0 || tree_->columnCount() == 0)
        return;
    // Each row's text is looked up by the number it was added with; the first row carrying a
    // number is the one found.
    sortTexts_.clear();
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        const Row* row = tree_->RowAt(i);
        if (sortTexts_.contains(row->Param()))
            continue;
        QString text = sortKey_ >= 0 ? row->text(sortKey_).left(kSortTextLength) : QString();
        if (const qsizetype nul = text.indexOf(QChar(u'\0')); nul >= 0)
            text.truncate(nul);
        sortTexts_.insert(row->Param(), text);
    }
    tree_->sortItems(0, Qt::AscendingOrder); // the order is in CompareRows
    sortTexts_.clear();
}

int ListView::CompareRows(int paramA, int paramB) const
{
    const QString a = sortTexts_.value(paramA);
    const QString b = sortTexts_.value(paramB);
    return sortOrder_ == lvwDescending ? QString::localeAwareCompare(b, a) : QString::localeAwareCompare(a, b);
}

ListView::Hit ListView::HitTestPart(const QPoint& pos) const
{
    Hit hit;
    if (!tree_)
        return hit;
    const QModelIndex index = tree_->indexAt(pos);
    if (!index.isValid())
        return hit;
    hit.row = index.row();
    if (index.column() == 0 && tree_->CheckRect(index).contains(pos))
        hit.part = Hit::StateIcon;
    else if (index.column() == 0 || fullRowSelect_)
        hit.part = Hit::Label;
    else
        hit.part = Hit::OtherPart;
    return hit;
}

bool ListView::OnNotify(Notification& n)
{
    switch (n.code) {
    case Notification::CustomDraw:
        if (const ListItem* item = items_->Item(n.row)) {
            n.textColor = TranslateOr(item->ForeColor(), n.textColor);
            n.textBkColor = TranslateOr(item->BackColor(), n.textBkColor);
        }
        return true;
    case Notification::Click:
    case Notification::DblClick:
    case Notification::RClick:
    case Notification::RDblClick: {
        const int button = n.code == Notification::RClick || n.code == Notification::RDblClick ? 2 : 1;
        const bool twice = n.code == Notification::DblClick || n.code == Notification::RDblClick;
        const Hit hit = HitTestPart(n.pos);
        if (hit.row >= 0 && hit.part == Hit::Label) {
            if (twice)
                emit ItemDblClick(items_->Item(hit.row), button);
            else
                emit ItemClick(items_->Item(hit.row), button);
        } else if (hit.row < 0) {
            if (twice)
                emit DblClick(button);
            else
                emit Click(button);
        }
        setFocus(Qt::MouseFocusReason);
        return true;
    }
    case Notification::KeyDown:
        if (n.keyCode != 0)
            emit KeyDown(n.keyCode);
        keyPressed_ = true;
        return true;
    case Notification::ItemChanged: {
        if (keyPressed_ && (n.newState & kStateSelected)) {
            emit ItemClick(items_->Item(n.row), 1);
            setFocus(Qt::OtherFocusReason);
            keyPressed_ = false;
        }
        const int before = n.oldState & kStateImageMask;
        const int after = n.newState & kStateImageMask;
        if ((before == kStateChecked && after == kStateUnchecked) || (before == kStateUnchecked && after == kStateChecked)) {
            emit ItemCheck(items_->Item(n.row));
            setFocus(Qt::OtherFocusReason);
        }
        return true;
    }
    case Notification::ColumnClick:
        emit ColumnClick(Column(n.column));
        return true;
    case Notification::BeginLabelEdit: {
        bool cancel = false;
        emit BeforeLabelEdit(cancel);
        n.result = cancel ? 1 : 0;
        return true;
    }
    case Notification::EndLabelEdit: {
        bool cancel = false;
        QString newString;
        emit AfterLabelEdit(cancel, newString);
        if (!n.hasText)
            return true; // cancelled by the user: nothing to accept
        if (!cancel && !newString.isEmpty() && newString != n.text)
            n.text = newString;
        n.result = cancel ? 0 : 1;
        return true;
    }
    }
    return false;
}

bool ListView::WindowProc(QWidget* window, QEvent* event)
{
    auto* control = qobject_cast<ListView*>(window->property("ListView").value<QObject*>());
    if (!control)
        return false;
    if (event->type() == Notification::EventType())
        return window == control && control->OnNotify(*static_cast<Notification*>(event));
    if (event->type() == QEvent::FocusIn) {
        if (window == control->tree_)
            control->keyboardHook_.Translate();
        else if (control->tree_)
            control->tree_->setFocus(static_cast<QFocusEvent*>(event)->reason());
    }
    return false;
}

void ListView::resizeEvent(QResizeEvent* event)
{
    if (tree_)
        tree_->setGeometry(rect());
    QWidget::resizeEvent(event);
}

bool ListView::eventFilter(QObject* watched, QEvent* event)
{
    // The header's tool tips show only while they are active.
    if (event->type() == QEvent::ToolTip && tree_ && watched == tree_->header()->viewport() && !tipsActive_)
        return true;
    return QWidget::eventFilter(watched, event);
}

void ListView::ReadProperties(const PropertyBag& bag)
{
    const auto flag = [&bag](const char* key, bool fallback) { return bag.ReadBool(QLatin1String(key), fallback); };
    const auto choice = [&bag](const char* key, int fallback) {
        const qint64 value = bag.ReadInt(QLatin1String(key), fallback);
        return value == 0 || value == 1 ? static_cast<int>(value) : fallback;
    };
    const auto colour = [&bag](const char* key, quint32 fallback) {
        return static_cast<quint32>(bag.ReadInt(QLatin1String(key), fallback));
    };

    allowColumnReorder_ = flag("AllowColumnReorder", false);
    appearance_ = choice("Appearance", lvw3D);
    backColor_ = colour("BackColor", Colors::WindowBackground);
    borderStyle_ = choice("BorderStyle", lvwNone);
    checkboxes_ = flag("Checkboxes", false);
    const qint64 count = bag.ReadInt(QStringLiteral("Count"), 0);
    count_ = count >= 0 && count <= kMaxInt16 ? static_cast<int>(count) : 0;
    enabled_ = flag("Enabled", true);
    flatScrollbar_ = flag("FlatScrollbar", false);
    QFont font;
    const QString fontText = bag.ReadString(QStringLiteral("Font"));
    font_ = !fontText.isEmpty() && font.fromString(fontText) ? font : QWidget::font();
    foreColor_ = colour("ForeColor", Colors::WindowText);
    fullRowSelect_ = flag("FullRowSelect", false);
    gridLines_ = flag("GridLines", false);
    hideColumnHeaders_ = flag("HideColumnHeaders", false);
    hideSelection_ = flag("HideSelection", true);
    hotTracking_ = flag("HotTracking", false);
    hoverSelection_ = flag("HoverSelection", false);
    labelEdit_ = choice("LabelEdit", lvwAutomatic);
    multiSelect_ = flag("MultiSelect", false);
    showTips_ = flag("ShowTips", true);
    sorted_ = flag("Sorted", false);
    sortKey_ = ClampInt16(bag.ReadInt(QStringLiteral("SortKey"), 0));
    sortOrder_ = choice("SortOrder", lvwAscending);

    for (int i = 0; i < count_; ++i) {
        if (i == static_cast<int>(columns_.size()))
            columns_.push_back(new tolvane::Column(this, i));
        tolvane::Column& column = *columns_[static_cast<std::size_t>(i)];
        column.actualWidth_ = ClampInt16(bag.ReadInt(ColumnKey("ColumnActualWidth(", i), 100));
        const qint64 alignment = bag.ReadInt(ColumnKey("ColumnAlignment(", i), tolvane::Column::lvwLeft);
        column.alignment_ = alignment >= tolvane::Column::lvwLeft && alignment <= tolvane::Column::lvwCenter
                                ? static_cast<int>(alignment)
                                : tolvane::Column::lvwLeft;
        column.tag_ = bag.ReadString(ColumnKey("ColumnTag(", i));
        column.text_ = bag.ReadString(ColumnKey("ColumnText(", i));
        column.toolTipText_ = bag.ReadString(ColumnKey("ColumnToolTipText(", i));
    }
    while (static_cast<int>(columns_.size()) > count_) {
        columns_.back()->deleteLater();
        columns_.pop_back();
    }
    Recreate();
}

void ListView::WriteProperties(PropertyBag& bag) const
{
    bag.Write(QStringLiteral("AllowColumnReorder"), allowColumnReorder_);
    bag.Write(QStringLiteral("Appearance"), appearance_);
    bag.Write(QStringLiteral("BackColor"), qint64{backColor_});
    bag.Write(QStringLiteral("BorderStyle"), borderStyle_);
    bag.Write(QStringLiteral("Checkboxes"), checkboxes_);
    bag.Write(QStringLiteral("Count"), count_);
    bag.Write(QStringLiteral("Enabled"), enabled_);
    bag.Write(QStringLiteral("FlatScrollbar"), flatScrollbar_);
    bag.Write(QStringLiteral("Font"), font_.toString());
    bag.Write(QStringLiteral("ForeColor"), qint64{foreColor_});
    bag.Write(QStringLiteral("FullRowSelect"), fullRowSelect_);
    bag.Write(QStringLiteral("GridLines"), gridLines_);
    bag.Write(QStringLiteral("HideColumnHeaders"), hideColumnHeaders_);
    bag.Write(QStringLiteral("HideSelection"), hideSelection_);
    bag.Write(QStringLiteral("HotTracking"), hotTracking_);
    bag.Write(QStringLiteral("HoverSelection"), hoverSelection_);
    bag.Write(QStringLiteral("LabelEdit"), labelEdit_);
    bag.Write(QStringLiteral("MultiSelect"), multiSelect_);
    bag.Write(QStringLiteral("ShowTips"), showTips_);
    bag.Write(QStringLiteral("Sorted"), sorted_);
    bag.Write(QStringLiteral("SortKey"), sortKey_);
    bag.Write(QStringLiteral("SortOrder"), sortOrder_);
    for (int i = 0; i < count_ && i < static_cast<int>(columns_.size()); ++i) {
        const tolvane::Column& column = *columns_[static_cast<std::size_t>(i)];
        bag.Write(ColumnKey("ColumnActualWidth(", i), column.actualWidth_);
        bag.Write(ColumnKey("ColumnAlignment(", i), column.alignment_);
        bag.Write(ColumnKey("ColumnTag(", i), column.tag_);
        bag.Write(ColumnKey("ColumnText(", i), column.text_);
        bag.Write(ColumnKey("ColumnToolTipText(", i), column.toolTipText_);
    }
}

} // namespace tolvane
