#include "ui/info_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/document.h"

namespace ostrand::ui {

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QString catalogueText(int32_t code) {
    return QString::fromUtf8(messageTextOrFallback(code).data());
}

QHBoxLayout* okRow(QDialog* dialog, bool withCancel) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setDefault(true);
    row->addWidget(ok);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    if (withCancel) {
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
        row->addWidget(cancel);
        QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    }
    return row;
}

// A box with its explanation beside it.
QWidget* explainedBox(QCheckBox* box, int32_t code, QWidget* parent) {
    auto* frame = new QGroupBox(parent);
    auto* row = new QHBoxLayout(frame);
    row->addWidget(box, 0, Qt::AlignTop);
    auto* note = new QLabel(catalogueText(code), frame);
    note->setWordWrap(true);
    note->setMinimumWidth(360);
    row->addWidget(note, 1);
    return frame;
}

}  // namespace

// ---------------------------------------------------------------- summaries

CInfoLinesDlg::CInfoLinesDlg(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    new QVBoxLayout(this);
}

template <size_t N>
void CInfoLinesDlg::addFrame(const QString& title, const std::array<InfoLine, N>& all,
                             std::initializer_list<int> lines) {
    QWidget* frame = title.isEmpty() ? new QWidget(this) : new QGroupBox(title, this);
    auto* grid = new QGridLayout(frame);
    if (title.isEmpty()) grid->setContentsMargins(0, 0, 0, 0);
    int r = 0;
    for (int i : lines) {
        auto* label = new QLabel(text(all[i].label), frame);
        auto* value = new QLabel(text(all[i].value), frame);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setEnabled(!all[i].greyed);
        value->setEnabled(!all[i].greyed);
        grid->addWidget(label, r, 0);
        grid->addWidget(value, r, 1);
        ++r;
        if (rows.size() <= static_cast<size_t>(i)) rows.resize(static_cast<size_t>(i) + 1);
        rows[static_cast<size_t>(i)] = {label, value};
    }
    grid->setColumnStretch(1, 1);
    static_cast<QVBoxLayout*>(layout())->addWidget(frame);
}

void CInfoLinesDlg::finish() {
    static_cast<QVBoxLayout*>(layout())->addLayout(okRow(this, false));
    setMinimumWidth(340);
}

QString CInfoLinesDlg::line(int index) const {
    const Row& r = rows.at(static_cast<size_t>(index));
    return r.label->text() + ' ' + r.value->text();
}

bool CInfoLinesDlg::greyed(int index) const {
    return !rows.at(static_cast<size_t>(index)).value->isEnabled();
}

CSetupInfoDlg::CSetupInfoDlg(DocumentCore& core, QWidget* parent)
    : CInfoLinesDlg(QStringLiteral("Setup Information"), parent) {
    const auto l = setupInformation(core.devices.selected(), core.settings.inForce,
                                    core.session.ProgrammingMode);
    addFrame({}, l, {kInfoDevice, kInfoComPort, kInfoDataRate, kInfoFileName});
    addFrame(QStringLiteral("Auto Programming"), l,
             {kInfoAllErase, kInfoBlankCheck, kInfoProgramming, kInfoVerify, kInfoFileCompare,
              kInfoAutoProtect});
    addFrame(QStringLiteral("Option"), l, {kInfoOptionProtect, kInfoEraseWithoutPassword});
    addFrame({}, l, {kInfoClock});
    addFrame(QStringLiteral("Memory Status"), l, {kInfoPhysical, kInfoEmulation, kInfoLimit});
    finish();
}

CSetupInfo2Dlg::CSetupInfo2Dlg(DocumentCore& core, QWidget* parent)
    : CInfoLinesDlg(QStringLiteral("Setup Information 2"), parent) {
    const auto l = setupInformation2(core.devices.selected(), core.settings.inForce);
    addFrame(QStringLiteral("Address Option"), l,
             {kInfo2Setting, kInfo2Area1, kInfo2Area2, kInfo2Data, kInfo2Sum});
    finish();
}

// ---------------------------------------------------------------- Set Up Option

CSetupOptionDlg::CSetupOptionDlg(DocumentCore& core, const DeviceDefinition* device,
                                 SetupValues* pageValues, const std::string& pagePath,
                                 QWidget* parent)
    : QDialog(parent),
      core_(core),
      device_(device),
      bootType_(device ? device->bootType : 0),
      pageValues_(pageValues),
      pagePath_(pagePath) {
    setWindowTitle(QStringLiteral("Set Up Option"));
    const SetupValues& v = pageValues ? *pageValues : core.settings.inForce;
    const OptionBoxes enabled = optionBoxes(bootType_, core.session.ProtectState);
    protect = new QCheckBox(QStringLiteral("Protect"), this);
    protect->setChecked(v.readProtectFor(bootType_) == 1);
    protect->setEnabled(enabled.protectEnabled);
    eraseWithoutPassword =
        new QCheckBox(QStringLiteral("Erase Without Password (for Q40 Family)"), this);
    eraseWithoutPassword->setChecked(v.eraseWithoutPassword == 1);
    eraseWithoutPassword->setEnabled(enabled.eraseWithoutPasswordEnabled);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explainedBox(protect, 12205, this));
    layout->addWidget(explainedBox(eraseWithoutPassword, 12206, this));
    layout->addLayout(okRow(this, true));
}

void CSetupOptionDlg::accept() {
    OptionEntry e;
    e.protect = protect->isChecked();
    e.eraseWithoutPassword = eraseWithoutPassword->isChecked();
    e.device = device_;
    e.pageValues = pageValues_;
    e.pagePath = pagePath_;
    core_.setOptions(e);
    QDialog::accept();
}

// ---------------------------------------------------------------- version

namespace {

// The program's picture: a chip with its pins.
QPixmap chipPicture() {
    QPixmap p(64, 64);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(90, 90, 90), 3));
    for (int i = 0; i < 4; ++i) {
        const int at = 18 + i * 9;
        g.drawLine(at, 4, at, 14);
        g.drawLine(at, 50, at, 60);
        g.drawLine(4, at, 14, at);
        g.drawLine(50, at, 60, at);
    }
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(40, 60, 110));
    g.drawRoundedRect(12, 12, 40, 40, 4, 4);
    g.setBrush(QColor(240, 190, 60));
    g.drawEllipse(18, 18, 7, 7);
    return p;
}

}  // namespace

CAboutDlg::CAboutDlg(DocumentCore& core, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ostrand"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setPixmap(chipPicture());
    row->addWidget(picture, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    const std::string* sources[] = {&core.devices.packageVersion(),
                                    &core.devices.programVersionLine(), &core.devices.noticeLine()};
    for (int i = 0; i < 3; ++i) {
        lines[i] = new QLabel(text(*sources[i]), this);
        lines[i]->setWordWrap(true);
        texts->addWidget(lines[i]);
    }
    row->addLayout(texts, 1);
    layout->addLayout(row);
    layout->addLayout(okRow(this, false));
    setMinimumWidth(420);
}

}  // namespace ostrand::ui
