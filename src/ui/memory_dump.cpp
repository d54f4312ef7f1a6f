#include "ui/memory_dump.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolBar>
#include <QToolTip>
#include <QVBoxLayout>

#include "document/document.h"
#include "ui/qt_operator.h"

namespace ostrand::ui {

namespace {

constexpr uint32_t kRows = 16;
constexpr int kHistory = 16;

QFont dumpFont() {
    QFont f(QStringLiteral("Monospace"));
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

bool printable(const QString& t) {
    return t.size() == 1 && t[0].unicode() >= 0x20 && t[0].unicode() != 0x7F;
}

}  // namespace

// ---------------------------------------------------------------- CEditEx

CEditEx::CEditEx(QWidget* parent) : QLineEdit(parent) {}

bool CEditEx::commandEnabled(int command) const {
    switch (command) {
        case kCut:
        case kCopy:
            return hasSelectedText();
        case kPaste:
            return !QApplication::clipboard()->text().isEmpty();
        case kUndo:
            return isUndoAvailable();
        default:
            return false;
    }
}

void CEditEx::runCommand(int command) {
    if (!commandEnabled(command)) return;
    switch (command) {
        case kCut:
            return cut();
        case kCopy:
            return copy();
        case kPaste:
            return paste();
        case kUndo:
            return undo();
        default:
            return;
    }
}

bool CEditEx::overwriteWith(const QString& t) {
    if (!overwrite_ || hasSelectedText() || !printable(t)) return false;
    const int at = cursorPosition();
    if (at >= text().size()) return false;
    // One undo step: the character is selected, then typed over.
    setSelection(at, 1);
    insert(t);
    return true;
}

void CEditEx::keyPressEvent(QKeyEvent* event) {
    // The clipboard keys besides the toolkit's own.
    const auto mods = event->modifiers();
    int command = 0;
    if (event->key() == Qt::Key_Delete && mods == Qt::ShiftModifier) command = kCut;
    if (event->key() == Qt::Key_Insert && mods == Qt::ControlModifier) command = kCopy;
    if (event->key() == Qt::Key_Insert && mods == Qt::ShiftModifier) command = kPaste;
    if (event->key() == Qt::Key_Backspace && mods == Qt::AltModifier) command = kUndo;
    if (command) {
        runCommand(command);
        return;
    }
    if (overwriteWith(event->text())) return;
    QLineEdit::keyPressEvent(event);
}

void CEditEx::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    const std::pair<int, const char*> items[] = {
        {kUndo, "&Undo"}, {kCut, "Cu&t"}, {kCopy, "&Copy"}, {kPaste, "&Paste"}};
    for (const auto& [id, text] : items) {
        QAction* a = menu.addAction(QString::fromLatin1(text));
        a->setEnabled(commandEnabled(id));
        connect(a, &QAction::triggered, this, [this, id = id] { runCommand(id); });
    }
    menu.exec(event->globalPos());
}

// ---------------------------------------------------------------- CMemoryEdit

CMemoryEdit::CMemoryEdit(QWidget* parent) : CEditEx(parent) {
    setObjectName(QStringLiteral("memoryEdit"));
    setAccessibleName(QStringLiteral("Edit memory data "));
    setOverwrite(true);
    setFont(dumpFont());
    setFrame(false);
    setStyleSheet(
        QStringLiteral("QLineEdit { border: 1px solid palette(highlight); padding: 0; }"));
    setTextMargins(0, 0, 0, 0);
    hide();
}

void CMemoryEdit::begin(const QString& text, bool character, int caret) {
    character_ = character;
    editing_ = true;
    setText(text);
    setMaxLength(static_cast<int>(text.size()));
    setCursorPosition(caret);
    show();
    raise();
    setFocus();
}

void CMemoryEdit::keyPressEvent(QKeyEvent* event) {
    if (!editing_) return;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    const QString t = event->text();
    const bool accepted = t.size() == 1 && t[0].unicode() < 128 &&
                          dumpFieldAccepts(static_cast<char>(t[0].unicode()), character_);
    if (!accepted) {
        ++beeps_;
        QApplication::beep();
        return;
    }
    if (!overwriteWith(t)) return;
    if (cursorPosition() >= text().size()) finish(true);
}

void CMemoryEdit::focusOutEvent(QFocusEvent* event) {
    CEditEx::focusOutEvent(event);
    if (editing_) finish(false);
}

void CMemoryEdit::finish(bool advance) {
    if (!editing_) return;
    editing_ = false;
    hide();
    emit finished(advance);
}

// ---------------------------------------------------------------- DumpText

DumpText::DumpText(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("dumpText"));
    setReadOnly(true);
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::StrongFocus);
    setFont(dumpFont());
    viewport()->setMouseTracking(true);
}

void DumpText::keyPressEvent(QKeyEvent* event) {
    bool taken = false;
    emit key(event, taken);
    if (!taken) QPlainTextEdit::keyPressEvent(event);
}

void DumpText::mousePressEvent(QMouseEvent* event) {
    setFocus();
    emit clicked(event->position().toPoint(), false);
}

void DumpText::mouseDoubleClickEvent(QMouseEvent* event) {
    emit clicked(event->position().toPoint(), true);
}

void DumpText::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0) emit wheel(-3 * notches);
}

// ---------------------------------------------------------------- dialog

CMemoryDumpDlg::CMemoryDumpDlg(DocumentCore& core, QtOperator& op, QWidget* parent)
    : QDialog(parent),
      core_(core),
      op_(op),
      ops_(core),
      reader_(core),
      previousOwner_(op.dialogOwner()),
      address_(new QComboBox(this)),
      dump_(new QPushButton(QStringLiteral("Dump"), this)),
      text_(new DumpText(this)),
      scroll_(new QScrollBar(Qt::Vertical, this)),
      edit_(new CMemoryEdit(text_->viewport())) {
    setWindowTitle(QStringLiteral("Memory Dump"));
    op_.setDialogOwner(this);
    address_->setObjectName(QStringLiteral("address"));
    address_->setEditable(true);
    address_->setInsertPolicy(QComboBox::NoInsert);
    address_->setMinimumWidth(130);
    dump_->setObjectName(QStringLiteral("dump"));
    dump_->setDefault(true);

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("units"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The first slot is a gap of 240 pixels: the address box sits in it.
    auto* slot = new QWidget(bar);
    slot->setFixedWidth(240);
    auto* slotRow = new QHBoxLayout(slot);
    slotRow->setContentsMargins(0, 0, 4, 0);
    slotRow->addWidget(new QLabel(QStringLiteral("Address:"), slot));
    slotRow->addWidget(address_, 1);
    bar->addWidget(slot);
    bar->addWidget(dump_);
    bar->addSeparator();
    auto* group = new QActionGroup(this);
    const char* names[3] = {"Byte", "Word", "Long"};
    for (int u = 0; u < 3; ++u) {
        QAction* a = bar->addAction(QString::fromLatin1(names[u]));
        a->setObjectName(QStringLiteral("unit%1").arg(QString::fromLatin1(names[u])));
        a->setToolTip(QString::fromLatin1(names[u]));
        a->setCheckable(true);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, u] { setUnit(static_cast<DumpUnit>(u)); });
        units_[u] = a;
    }
    units_[0]->setChecked(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar);
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(text_);
    row->addWidget(scroll_);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(dump_, &QPushButton::clicked, this, &CMemoryDumpDlg::dumpAddress);
    connect(text_, &DumpText::key, this, &CMemoryDumpDlg::onKey);
    connect(text_, &DumpText::clicked, this, &CMemoryDumpDlg::onClick);
    connect(text_, &DumpText::wheel, this, [this](int rows) { scrollRows(rows); });
    connect(edit_, &CMemoryEdit::finished, this, &CMemoryDumpDlg::editFinished);
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int position) {
        if (scrolling_ || !shown_) return;
        const uint32_t top = dumpTopOfPosition(position, reader_.first(), reader_.last(),
                                               scroll_->maximum(), reader_.rows());
        if (top == top_) return;
        top_ = top;
        showPage();
    });
    text_->viewport()->installEventFilter(this);

    const auto areas = flashAreasOf(core_.devices);
    if (!areas.empty()) {
        reader_.setRange(areas[0].start, areas[0].end, kRows);
        top_ = dumpTopRow(areas[0].start, areas[0].start, areas[0].end, kRows);
        address_->setEditText(QString::asprintf("0x%06lx", static_cast<unsigned long>(top_)));
    }
    sizeText();
}

CMemoryDumpDlg::~CMemoryDumpDlg() {
    if (op_.dialogOwner() == this) op_.setDialogOwner(previousOwner_);
}

void CMemoryDumpDlg::sizeText() {
    const QFontMetrics m(text_->font());
    const int margin =
        2 * static_cast<int>(text_->document()->documentMargin()) + 2 * text_->frameWidth() + 4;
    text_->setFixedSize(m.horizontalAdvance(QString(dumpRowWidth(unit_), 'x')) + margin,
                        m.lineSpacing() * static_cast<int>(kRows) + margin);
    scroll_->setFixedHeight(text_->height());
}

bool CMemoryDumpDlg::openFirstPage() {
    dumpAddress();
    return shown_;
}

void CMemoryDumpDlg::dumpAddress() {
    if (edit_->editing()) edit_->finish(false);
    uint32_t address = 0;
    const std::string typed = address_->currentText().toStdString();
    if (Refusal r = checkAddress(typed, core_.devices, kDumpAddress, address)) {
        core_.op.showMessage(r.code, 0, r.hint, r.detail);
        return;
    }
    const QString entry = address_->currentText().trimmed();
    const int old = address_->findText(entry);
    if (old >= 0) address_->removeItem(old);
    address_->insertItem(0, entry);
    while (address_->count() > kHistory) address_->removeItem(address_->count() - 1);
    address_->setCurrentIndex(0);
    // A data flash area has its own range.
    const auto areas = flashAreasOf(core_.devices);
    const AddressRange* area = areaHolding(areas, address);
    if (area->start != reader_.first() || area->end != reader_.last())
        reader_.setRange(area->start, area->end, kRows);
    top_ = dumpTopRow(address, reader_.first(), reader_.last(), reader_.rows());
    curRow_ = (address - top_) / kDumpRowBytes;
    curValue_ = address % kDumpRowBytes / dumpValueSize(unit_);
    curChar_ = false;
    showPage();
}

bool CMemoryDumpDlg::showPage() {
    if (!reader_.page(top_, page_)) {
        // 11007 was shown: the display ends.
        shown_ = false;
        page_.clear();
        done(QDialog::Rejected);
        return false;
    }
    shown_ = true;
    curRow_ = std::min<uint32_t>(curRow_, static_cast<uint32_t>(page_.size()) - 1);
    drawPage();
    placeScrollBar();
    return true;
}

void CMemoryDumpDlg::drawPage() {
    QString all;
    for (size_t i = 0; i < page_.size(); ++i) {
        uint8_t bytes[kDumpRowBytes];
        std::copy(page_[i].begin(), page_[i].end(), bytes);
        std::string row =
            dumpRowText(top_ + static_cast<uint32_t>(i) * kDumpRowBytes, bytes, unit_);
        row.resize(row.size() - 2);  // the widget keeps its own line ends
        if (i) all += QLatin1Char('\n');
        all += QString::fromLatin1(row.data(), static_cast<qsizetype>(row.size()));
    }
    text_->setPlainText(all);
    // The current value stands out.
    if (page_.empty()) return;
    const uint32_t width = curChar_ ? 1 : 2 * dumpValueSize(unit_);
    const uint32_t column =
        curChar_ ? dumpCharColumn(curValue_) : dumpValueColumn(unit_, curValue_);
    QTextCursor c(text_->document()->findBlockByNumber(static_cast<int>(curRow_)));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, static_cast<int>(column));
    c.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, static_cast<int>(width));
    QTextEdit::ExtraSelection mark;
    mark.cursor = c;
    mark.format.setBackground(palette().highlight());
    mark.format.setForeground(palette().highlightedText());
    text_->setExtraSelections({mark});
}

void CMemoryDumpDlg::placeScrollBar() {
    const uint64_t span = uint64_t{reader_.last()} - reader_.first() + 1;
    const int range = static_cast<int>(std::min<uint64_t>(span / kDumpRowBytes, INT32_MAX) - 1);
    scrolling_ = true;
    scroll_->setRange(0, std::max(range, 0));
    scroll_->setSingleStep(1);
    scroll_->setPageStep(static_cast<int>(reader_.rows()));
    scroll_->setValue(
        dumpScrollPosition(top_, reader_.first(), reader_.last(), scroll_->maximum()));
    scrolling_ = false;
}

void CMemoryDumpDlg::scrollRows(int64_t rows) {
    if (!shown_) return;
    const int64_t wanted = int64_t{top_} + rows * int64_t{kDumpRowBytes};
    const uint32_t at =
        static_cast<uint32_t>(std::clamp<int64_t>(wanted, reader_.first(), reader_.last()));
    const uint32_t top = dumpTopRow(at, reader_.first(), reader_.last(), reader_.rows());
    if (top == top_) return;
    top_ = top;
    showPage();
}

void CMemoryDumpDlg::setUnit(DumpUnit unit) {
    if (edit_->editing()) edit_->finish(false);
    const uint32_t byte = curValue_ * dumpValueSize(unit_);
    unit_ = unit;
    units_[static_cast<int>(unit)]->setChecked(true);
    curValue_ = byte / dumpValueSize(unit);
    curChar_ = false;
    sizeText();
    reader_.discard();
    if (shown_) showPage();
}

uint32_t CMemoryDumpDlg::currentAddress() const {
    return top_ + curRow_ * kDumpRowBytes + curValue_ * (curChar_ ? 1 : dumpValueSize(unit_));
}

void CMemoryDumpDlg::setCurrent(uint32_t row, uint32_t value, bool character) {
    curRow_ = std::min<uint32_t>(row, page_.empty() ? 0 : static_cast<uint32_t>(page_.size()) - 1);
    curChar_ = character && unit_ == DumpUnit::Byte;
    curValue_ = std::min(value, (curChar_ ? kDumpRowBytes : dumpValuesPerRow(unit_)) - 1);
    if (shown_) drawPage();
}

QPoint CMemoryDumpDlg::pointOf(uint32_t row, uint32_t value, bool character) const {
    const uint32_t column = character ? dumpCharColumn(value) : dumpValueColumn(unit_, value);
    QTextCursor c(text_->document()->findBlockByNumber(static_cast<int>(row)));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, static_cast<int>(column));
    const QRect r = text_->cursorRect(c);
    return {r.left() + 2, r.center().y()};
}

bool CMemoryDumpDlg::hitAt(const QPoint& pos, uint32_t& row, DumpHit& hit) const {
    if (!shown_) return false;
    const QTextCursor c = text_->cursorForPosition(pos);
    const int block = c.blockNumber();
    if (block < 0 || block >= static_cast<int>(page_.size())) return false;
    // The character under the point, not the gap before it.
    const QFontMetrics m(text_->font());
    const QRect r = text_->cursorRect(c);
    int column = c.positionInBlock();
    if (pos.x() < r.left() && column > 0) --column;
    (void)m;
    const auto h = dumpHitAt(unit_, static_cast<uint32_t>(column));
    if (!h) return false;
    row = static_cast<uint32_t>(block);
    hit = *h;
    return true;
}

QString CMemoryDumpDlg::tipAt(const QPoint& pos) const {
    uint32_t row = 0;
    DumpHit hit;
    if (!hitAt(pos, row, hit)) return {};
    const uint32_t address =
        top_ + row * kDumpRowBytes + hit.value * (hit.character ? 1 : dumpValueSize(unit_));
    return QString::asprintf("0x%06lx", static_cast<unsigned long>(address));
}

void CMemoryDumpDlg::onClick(QPoint pos, bool twice) {
    uint32_t row = 0;
    DumpHit hit;
    if (!hitAt(pos, row, hit)) return;
    setCurrent(row, hit.value, hit.character);
    if (twice) beginEdit();
}

void CMemoryDumpDlg::onKey(QKeyEvent* event, bool& taken) {
    if (!shown_) return;
    taken = true;
    const uint32_t perRow = curChar_ ? kDumpRowBytes : dumpValuesPerRow(unit_);
    const uint32_t last = static_cast<uint32_t>(page_.size()) - 1;
    switch (event->key()) {
        case Qt::Key_Left:
            if (curValue_ > 0) setCurrent(curRow_, curValue_ - 1, curChar_);
            return;
        case Qt::Key_Right:
            if (curValue_ + 1 < perRow) setCurrent(curRow_, curValue_ + 1, curChar_);
            return;
        case Qt::Key_Up:
            if (curRow_ > 0)
                setCurrent(curRow_ - 1, curValue_, curChar_);
            else
                scrollRows(-1);
            return;
        case Qt::Key_Down:
            if (curRow_ < last)
                setCurrent(curRow_ + 1, curValue_, curChar_);
            else
                scrollRows(1);
            return;
        case Qt::Key_PageUp:
            scrollRows(-static_cast<int64_t>(reader_.rows()));
            return;
        case Qt::Key_PageDown:
            scrollRows(reader_.rows());
            return;
        default:
            break;
    }
    const QString t = event->text();
    if (printable(t) && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        beginEdit(t);
        return;
    }
    taken = false;
}

void CMemoryDumpDlg::beginEdit(const QString& firstKey) {
    if (!shown_ || page_.empty()) return;
    const uint32_t size = curChar_ ? 1 : dumpValueSize(unit_);
    const uint8_t* bytes = page_[curRow_].data() + curValue_ * size;
    editOriginal_ = QString::fromStdString(dumpValueText(bytes, unit_, curChar_));
    const QPoint at = pointOf(curRow_, curValue_, curChar_);
    const QFontMetrics m(text_->font());
    const int chars = static_cast<int>(editOriginal_.size());
    edit_->setGeometry(at.x() - 3, at.y() - m.height() / 2 - 2,
                       m.horizontalAdvance(QString(chars, 'x')) + 6, m.height() + 4);
    edit_->setToolTip(QString::asprintf("0x%06lx", static_cast<unsigned long>(currentAddress())));
    edit_->begin(editOriginal_, curChar_, 0);
    if (!firstKey.isEmpty()) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, firstKey);
        QApplication::sendEvent(edit_, &press);
    }
}

void CMemoryDumpDlg::editFinished(bool advance) {
    const QString typed = edit_->text();
    text_->setFocus();
    if (typed == editOriginal_) {
        if (advance) setCurrent(curRow_, curValue_, curChar_);
        return;
    }
    const std::vector<uint8_t> bytes =
        dumpFieldBytes(typed.toStdString(), unit_, edit_->character());
    if (ops_.writeDumpValue(currentAddress(), bytes) != kManualDone) {
        drawPage();  // as it was
        return;
    }
    reader_.discard();
    if (!showPage()) return;
    if (!advance) return;
    const uint32_t perRow = curChar_ ? kDumpRowBytes : dumpValuesPerRow(unit_);
    if (curValue_ + 1 < perRow)
        setCurrent(curRow_, curValue_ + 1, curChar_);
    else if (curRow_ + 1 < page_.size())
        setCurrent(curRow_ + 1, 0, curChar_);
}

bool CMemoryDumpDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = tipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, text_->viewport());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CMemoryDumpDlg::reject() {
    // Closing ends the editing first (and writes what was typed).
    if (edit_->editing()) edit_->finish(false);
    QDialog::reject();
}

}  // namespace ostrand::ui
