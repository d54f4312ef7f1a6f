// The Memory Dump dialog: the flash as a hex dump in byte, word or long
// units, an address box with its history, scrolling over the whole flash,
// and in-place editing of single values that are written to the chip at once.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <array>
#include <memory>
#include <vector>

#include "document/manual_rules.h"

class QAction;
class QComboBox;
class QPushButton;
class QScrollBar;

namespace ostrand {
class DocumentCore;
}

namespace ostrand::ui {

class QtOperator;

// An edit with an overwrite mode and the clipboard commands.
class CEditEx : public QLineEdit {
    Q_OBJECT
  public:
    enum Command { kCut = 57635, kCopy = 57634, kPaste = 57637, kUndo = 57643 };
    explicit CEditEx(QWidget* parent = nullptr);
    void setOverwrite(bool on) { overwrite_ = on; }
    bool overwrite() const { return overwrite_; }
    bool commandEnabled(int command) const;
    void runCommand(int command);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Replaces the character under the caret; false when the ordinary edit
    // behaviour applies (a selection, a control character, the text's end).
    bool overwriteWith(const QString& text);

  private:
    bool overwrite_ = false;
};

// The field placed over one value of the dump: hex digits or a character.
class CMemoryEdit : public CEditEx {
    Q_OBJECT
  public:
    explicit CMemoryEdit(QWidget* parent = nullptr);
    void begin(const QString& text, bool character, int caret);
    bool character() const { return character_; }
    bool editing() const { return editing_; }
    int beeps() const { return beeps_; }
    // Ends the editing now (the dialog closes, the page changes).
    void finish(bool advance);

  signals:
    // Editing is over: the caret passed the end (`advance`) or the focus went.
    void finished(bool advance);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    bool character_ = false;
    bool editing_ = false;
    int beeps_ = 0;
};

// The dump text: keys, clicks and the tool tip go to the dialog.
class DumpText : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit DumpText(QWidget* parent = nullptr);
  signals:
    void key(QKeyEvent* event, bool& taken);
    void clicked(QPoint pos, bool twice);
    void wheel(int rows);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

class CMemoryDumpDlg : public QDialog {
    Q_OBJECT
  public:
    CMemoryDumpDlg(DocumentCore& core, QtOperator& op, QWidget* parent = nullptr);
    ~CMemoryDumpDlg() override;

    // The first page of the flash; false when it could not be read (11007).
    bool openFirstPage();
    // Dump, or Enter in the address box.
    void dumpAddress();
    void setUnit(DumpUnit unit);
    DumpUnit unit() const { return unit_; }
    // Scroll by rows (negative: up), to a position of the bar.
    void scrollRows(int64_t rows);
    uint32_t top() const { return top_; }
    uint32_t rows() const { return reader_.rows(); }
    const DumpReader& reader() const { return reader_; }
    // The current value and its address.
    uint32_t currentAddress() const;
    // The address of the value under a point of the text ("" when none).
    QString tipAt(const QPoint& pos) const;
    // Starts editing the current value, with an optional first key.
    void beginEdit(const QString& firstKey = {});
    // Puts the current value on (row, value) of the page.
    void setCurrent(uint32_t row, uint32_t value, bool character);

    QComboBox* addressBox() const { return address_; }
    QPushButton* dumpButton() const { return dump_; }
    DumpText* text() const { return text_; }
    QScrollBar* scrollBar() const { return scroll_; }
    CMemoryEdit* editor() const { return edit_; }
    QAction* unitAction(DumpUnit unit) const { return units_[static_cast<int>(unit)]; }
    // The point of a value's first character in the text's viewport.
    QPoint pointOf(uint32_t row, uint32_t value, bool character) const;

  protected:
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool showPage();
    void drawPage();
    void placeScrollBar();
    void onKey(QKeyEvent* event, bool& taken);
    void onClick(QPoint pos, bool twice);
    void editFinished(bool advance);
    void sizeText();
    bool hitAt(const QPoint& pos, uint32_t& row, DumpHit& hit) const;

    DocumentCore& core_;
    QtOperator& op_;
    ManualOperations ops_;
    DumpReader reader_;
    QPointer<QWidget> previousOwner_;
    QComboBox* address_;
    QPushButton* dump_;
    DumpText* text_;
    QScrollBar* scroll_;
    CMemoryEdit* edit_;
    std::array<QAction*, 3> units_{};
    DumpUnit unit_ = DumpUnit::Byte;
    uint32_t top_ = 0;
    bool shown_ = false;  // a page is on screen
    std::vector<std::array<uint8_t, kDumpRowBytes>> page_;
    // The current value: row of the page, value in the row, character column.
    uint32_t curRow_ = 0, curValue_ = 0;
    bool curChar_ = false;
    bool scrolling_ = false;
    QString editOriginal_;
};

}  // namespace ostrand::ui
