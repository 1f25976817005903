// The inspector-style grid of the Settings page: one row per setting, a caption column and a
// value column, 124 pixels each, on white with grid lines in (123, 158, 189) and captions in
// (49, 101, 206). A list row is edited with a drop-down of its items, an integer row as a
// number. The grid holds only texts; what they mean is the business of the settings rows.
#pragma once

#include <QTableWidget>
#include <span>
#include <string>

#include "SettingsRows.h"

namespace holvane {

class SettingsGrid final : public QTableWidget {
    Q_OBJECT

public:
    // The rows are kept by reference; they are the static row tables of the settings rows.
    explicit SettingsGrid(std::span<const SettingsRow> rows, QWidget* parent = nullptr);

    std::span<const SettingsRow> Rows() const { return rows_; }
    int RowCount() const { return static_cast<int>(rows_.size()); }

    QString Caption(int row) const;
    std::string Text(int row) const;
    // Sets a row's value text without raising AfterEdit.
    void SetText(int row, const std::string& text);
    RowTexts Texts() const;
    void SetTexts(const RowTexts& texts);

    // What a finished edit of the user does: the row takes the text, and when that changed its
    // value the grid raises AfterEdit. An integer row takes only a number; anything else is
    // refused and the row keeps its text.
    void CommitEdit(int row, const QString& text);

    // After an edit: an integer row whose number lies outside its limits is set to the nearer
    // limit (the maximum is tested first). Other rows and values are left alone.
    void ApplyLimits(int row);

    // Where a caption's text is drawn within its cell: one pixel in from the left, up to the
    // cell's right edge, so that the longest caption fits the column.
    static QRect CaptionTextRect(const QRect& cell);

    // The grid is as high as its rows, so it never scrolls to bring a cell into view.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    // The grid is one stop of the window's Tab chain. Within it the arrow keys move between the
    // value cells, F2 or typing opens the editor, Enter commits and Escape cancels; Tab and
    // Shift+Tab, also from an open editor, go on to the next or previous control. A click on a
    // value cell opens its editor at once.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    // An edit that has ended, and focus that has gone to another control, leave no cell
    // selected: the grid shows no highlight once the user is done with it. While the grid keeps
    // the focus its current cell stays framed.
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void focusOutEvent(QFocusEvent* event) override;

signals:
    void AfterEdit(int row);

private:
    void Unselect();

    std::span<const SettingsRow> rows_;
    // Set while the keyboard moves the current cell: such a move does not open an editor.
    bool keyboardMove_ = false;
};

}  // namespace holvane
