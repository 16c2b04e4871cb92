// The in-place editors of a settings list: borderless modal dialogs placed over the double-clicked
// cell, showing only their control. Each writes to the camera through its SettingItem as soon as
// the user makes a choice. GUI thread.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QSpinBox>

class SettingItem;

// The shape every editor shares: the item edited, the drop area (cell's left to right, header's
// bottom to the pane's bottom) and the cell, both in screen coordinates.
class SettingEditorDialog : public QDialog {
    Q_OBJECT

public:
    SettingEditorDialog(SettingItem* item, const QRect& dropRect, const QRect& cellRect,
                        QWidget* parent = nullptr);

protected:
    // Moves the dialog over the drop area and shows only `control`, placed at `controlRect`
    // (dialog coordinates).
    void placeControl(QWidget* control, const QRect& controlRect);
    // The cell in dialog coordinates.
    QRect cellInDialog() const;

    SettingItem* item_;
    const QRect dropRect_;
    const QRect cellRect_;
};

// A drop-down list of an enumeration's choices; the first selection change writes and closes.
class CEnumSettingEditorDialog : public SettingEditorDialog {
    Q_OBJECT

public:
    CEnumSettingEditorDialog(SettingItem* item, const QRect& dropRect, const QRect& cellRect,
                             QWidget* parent = nullptr);
    QComboBox* combo() const { return combo_; }

private:
    QComboBox* combo_;
};

// A drop-down list of a scalar's units; the first selection change writes and closes.
class CSettingUnitEditorDialog : public SettingEditorDialog {
    Q_OBJECT

public:
    CSettingUnitEditorDialog(SettingItem* item, const QRect& dropRect, const QRect& cellRect,
                             QWidget* parent = nullptr);
    QComboBox* combo() const { return combo_; }

private:
    QComboBox* combo_;
};

// An edit box with arrows for a scalar value. Each arrow step is applied at once (the library
// adds the step and shows what it applied); Enter writes the typed number, Escape closes
// without writing (steps already made stay).
class CScalarSettingEditorDialog : public SettingEditorDialog {
    Q_OBJECT

public:
    CScalarSettingEditorDialog(SettingItem* item, const QRect& dropRect, const QRect& cellRect,
                               QWidget* parent = nullptr);
    QSpinBox* spin() const { return spin_; }

private:
    QSpinBox* spin_;
};
