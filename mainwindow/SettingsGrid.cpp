#include "SettingsGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>

namespace holvane {

namespace {

constexpr int CaptionColumn = 0;
constexpr int ValueColumn = 1;
constexpr int ColumnWidth = 124;
constexpr int RowHeight = 20;
const QColor CaptionColour(49, 101, 206);
// The grid is white whatever the system's colours are, so its values are always drawn dark.
const QColor GridBackground(255, 255, 255);
const QColor ValueColour(0, 0, 0);
// The mark of the grid that has the keyboard focus: its frame and its current cell.
const QColor FocusColour(0, 84, 166);

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The caption column: the caption's text in its own colour within CaptionTextRect, on the
// cell's background.
class CaptionDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell(option);
        initStyleOption(&cell, index);
        const QString text = cell.text;
        cell.text.clear();
        const QWidget* view = cell.widget;
        QStyle* style = view != nullptr ? view->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, view);
        painter->save();
        painter->setFont(cell.font);
        painter->setPen(cell.palette.color(QPalette::Text));
        painter->drawText(SettingsGrid::CaptionTextRect(cell.rect),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter->restore();
    }
};

// The editors of the value column: a drop-down of the row's items for a list row, a line for a
// (possibly signed) decimal number for an integer row. A finished edit goes through CommitEdit.
class ValueDelegate final : public QStyledItemDelegate {
public:
    explicit ValueDelegate(SettingsGrid& grid) : QStyledItemDelegate(&grid), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        const SettingsRow& row = grid_.Rows()[static_cast<std::size_t>(index.row())];
        // A screen reader names the editor by its row's caption.
        const QString caption = FromView(row.caption).trimmed();
        if (row.kind == RowKind::List) {
            auto* box = new QComboBox(parent);
            box->setAccessibleName(caption);
            box->setStyle(grid_.style());
            for (const ListChoice& choice : row.choices) {
                box->addItem(FromView(choice.text));
            }
            // Picking an item ends the edit at once.
            connect(box, &QComboBox::activated, this, [this, box] {
                emit const_cast<ValueDelegate*>(this)->commitData(box);
                emit const_cast<ValueDelegate*>(this)->closeEditor(box);
            });
            return box;
        }
        auto* line = new QLineEdit(parent);
        line->setAccessibleName(caption);
        line->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("-?[0-9]{0,9}")), line));
        return line;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        const QString text = index.data().toString();
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            box->setCurrentIndex(box->findText(text));
        } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setText(text);
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            grid_.CommitEdit(index.row(), box->currentText());
        } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            grid_.CommitEdit(index.row(), line->text());
        }
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect);
    }

    // The current cell of the focused grid is framed, selected or not.
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if ((option.state & QStyle::State_HasFocus) != 0 && grid_.hasFocus()) {
            painter->save();
            painter->setPen(FocusColour);
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }

private:
    SettingsGrid& grid_;
};

}  // namespace

SettingsGrid::SettingsGrid(std::span<const SettingsRow> rows, QWidget* parent)
    : QTableWidget(static_cast<int>(rows.size()), 2, parent), rows_(rows) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setDefaultSectionSize(ColumnWidth);
    verticalHeader()->setDefaultSectionSize(RowHeight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(false);
    setFocusPolicy(Qt::StrongFocus);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    QPalette colours = palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Base, GridBackground);
        colours.setColor(group, QPalette::Text, ValueColour);
    }
    setPalette(colours);
    // A one-pixel frame: the rows fill the rest of the grid's height exactly. It takes the focus
    // colour while the grid has the keyboard focus.
    setStyleSheet(
        QStringLiteral("QTableWidget { background: white; gridline-color: rgb(123, 158, 189);"
                       " border: 1px solid rgb(123, 158, 189); }"
                       "QTableWidget:focus { border: 1px solid rgb(0, 84, 166); }"
                       "QTableWidget::item { padding: 0px; }"));
    setItemDelegateForColumn(CaptionColumn, new CaptionDelegate(this));
    setItemDelegateForColumn(ValueColumn, new ValueDelegate(*this));

    for (int r = 0; r < RowCount(); ++r) {
        auto* caption = new QTableWidgetItem(FromView(rows_[static_cast<std::size_t>(r)].caption));
        caption->setFlags(Qt::ItemIsEnabled);
        caption->setForeground(CaptionColour);
        setItem(r, CaptionColumn, caption);
        auto* value = new QTableWidgetItem;
        value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        setItem(r, ValueColumn, value);
    }
}

QString SettingsGrid::Caption(int row) const {
    return item(row, CaptionColumn)->text();
}

std::string SettingsGrid::Text(int row) const {
    return item(row, ValueColumn)->text().toStdString();
}

void SettingsGrid::SetText(int row, const std::string& text) {
    if (row >= 0 && row < RowCount()) {
        item(row, ValueColumn)->setText(QString::fromStdString(text));
    }
}

RowTexts SettingsGrid::Texts() const {
    RowTexts texts;
    for (int r = 0; r < RowCount(); ++r) {
        texts.push_back(Text(r));
    }
    return texts;
}

void SettingsGrid::SetTexts(const RowTexts& texts) {
    for (int r = 0; r < RowCount() && r < static_cast<int>(texts.size()); ++r) {
        SetText(r, texts[static_cast<std::size_t>(r)]);
    }
}

void SettingsGrid::CommitEdit(int row, const QString& text) {
    if (row < 0 || row >= RowCount()) {
        return;
    }
    std::string newText = text.trimmed().toStdString();
    // An integer row shows the number as the record will hold it: "007" becomes "7".
    bool isNumber = false;
    const long long number = text.trimmed().toLongLong(&isNumber);
    if (isNumber && rows_[static_cast<std::size_t>(row)].kind == RowKind::Integer) {
        newText = std::to_string(number);
    }
    if (!RowValue(rows_[static_cast<std::size_t>(row)], newText) || newText == Text(row)) {
        return;
    }
    SetText(row, newText);
    emit AfterEdit(row);
}

void SettingsGrid::ApplyLimits(int row) {
    if (row < 0 || row >= RowCount()) {
        return;
    }
    if (const auto limited = LimitedRowText(rows_[static_cast<std::size_t>(row)], Text(row))) {
        SetText(row, *limited);
    }
}

QRect SettingsGrid::CaptionTextRect(const QRect& cell) {
    return cell.adjusted(1, 0, 0, 0);
}

void SettingsGrid::scrollTo(const QModelIndex&, ScrollHint) {}

bool SettingsGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger == CurrentChanged && keyboardMove_) {
        return false;
    }
    return QTableWidget::edit(index, trigger, event);
}

QModelIndex SettingsGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // Only the value cells take the cursor; left and right stay in the row.
    if (action == MoveLeft || action == MoveRight) {
        return currentIndex().isValid() ? model()->index(currentIndex().row(), ValueColumn)
                                        : model()->index(0, ValueColumn);
    }
    const QModelIndex moved = QTableWidget::moveCursor(action, modifiers);
    return moved.isValid() ? model()->index(moved.row(), ValueColumn) : moved;
}

void SettingsGrid::keyPressEvent(QKeyEvent* event) {
    keyboardMove_ = true;
    QTableWidget::keyPressEvent(event);
    keyboardMove_ = false;
}

void SettingsGrid::focusInEvent(QFocusEvent* event) {
    // Coming in by any way but a click, the grid's first value cell is current and marked; no
    // editor opens until the user asks for one.
    const bool byKeyboard = event->reason() != Qt::MouseFocusReason;
    keyboardMove_ = byKeyboard;
    if (byKeyboard && !currentIndex().isValid() && RowCount() > 0) {
        setCurrentIndex(model()->index(0, ValueColumn));
    }
    QTableWidget::focusInEvent(event);
    keyboardMove_ = false;
}

void SettingsGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    // Tab and Shift+Tab from an editor (its value already committed) leave the grid.
    const bool toNext = hint == QAbstractItemDelegate::EditNextItem;
    const bool toPrevious = hint == QAbstractItemDelegate::EditPreviousItem;
    QTableWidget::closeEditor(editor, toNext || toPrevious ? QAbstractItemDelegate::NoHint : hint);
    if (toNext || toPrevious) {
        Unselect();
        focusNextPrevChild(toNext);
        return;
    }
    if (hasFocus()) {
        // The keyboard user stays on the cell, framed but not highlighted.
        clearSelection();
    } else {
        Unselect();
    }
}

void SettingsGrid::focusOutEvent(QFocusEvent* event) {
    QTableWidget::focusOutEvent(event);
    // Focus that moves into the grid's own editor stays with the grid.
    const QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr || !isAncestorOf(focused)) {
        Unselect();
    }
}

void SettingsGrid::Unselect() {
    clearSelection();
    if (QItemSelectionModel* model = selectionModel()) {
        model->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
}

}  // namespace holvane
