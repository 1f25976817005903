#include "SettingsGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
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
        if (row.kind == RowKind::List) {
            auto* box = new QComboBox(parent);
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
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    // A one-pixel frame: the rows fill the rest of the grid's height exactly.
    setStyleSheet(
        QStringLiteral("QTableWidget { background: white; gridline-color: rgb(123, 158, 189);"
                       " border: 1px solid rgb(123, 158, 189); }"
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
    const std::string newText = text.trimmed().toStdString();
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

void SettingsGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTableWidget::closeEditor(editor, hint);
    // Tab and Backtab move on to the next editor; any other end leaves the grid at rest.
    if (hint != QAbstractItemDelegate::EditNextItem &&
        hint != QAbstractItemDelegate::EditPreviousItem) {
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
