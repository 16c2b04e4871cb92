// What both settings lists share: a report-style table (grid lines, whole-row selection) of
// setting names, values and units, refreshed when its page is shown and after every edit, and
// in-place editors opened by a double click on a value or unit cell. GUI thread.
#pragma once

#include <QTableWidget>

#include "commands.h"

class SettingItem;

class SettingListPane : public QTableWidget, public commands::CommandTarget {
    Q_OBJECT

public:
    explicit SettingListPane(QWidget* parent = nullptr);

    // Reads every shown value from the cameras again.
    virtual void refresh() = 0;

    // Opens the editor for cell (row, column), as a double click there does; false when that cell
    // has no editor.
    bool openEditorAt(int row, int column);

    bool onCommand(int) override { return false; }
    bool onUpdateCommand(int, commands::CommandState&) override { return false; }

    // The column widths together (the page sizes its splitter by them).
    int totalColumnWidth() const;

protected:
    // Opens the editor of that cell, if any; false when it has none.
    virtual bool editCell(int row, int column, const QRect& dropRect, const QRect& cellRect) = 0;
    // Runs the editor that fits the item's kind over the cell: an enumeration's choices or a
    // scalar's value; other kinds open nothing. Unit cells use runUnitEditor.
    bool runValueEditor(SettingItem* item, const QRect& dropRect, const QRect& cellRect);
    bool runUnitEditor(SettingItem* item, const QRect& dropRect, const QRect& cellRect);

    // Width of `letters` letters 'a' in the list's font.
    int textWidth(int letters) const;
    void addColumn(const QString& title, Qt::Alignment alignment, int width);
    void setCell(int row, int column, const QString& text);
    // The unit name of a scalar item, or an empty text for other kinds; `previous` stays when the
    // current unit is not among the item's units.
    static QString unitText(const SettingItem& item, const QString& previous);

    bool event(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QVector<Qt::Alignment> alignments_;
};
