#include "ui/password_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/password_rules.h"
#include "document/document.h"
#include "document/setup_commands.h"
#include "document/setup_rules.h"
#include "ui/ostrand_doc.h"
#include "ui/setup_dialog.h"

namespace ostrand::ui {

namespace {

QString address(uint32_t value) {
    return value == 0 ? QString() : QString::asprintf("0x%lx", static_cast<unsigned long>(value));
}

std::string typed(const QLineEdit* box) {
    return box->text().trimmed().toStdString();
}

}  // namespace

CPasswordDlg::CPasswordDlg(COstrandDoc& doc, const DeviceDefinition* device,
                           SetupValues* pageValues, const std::string& pagePath, QWidget* parent)
    : QDialog(parent),
      doc_(doc),
      core_(doc.core),
      device_(device),
      pageValues_(pageValues),
      pagePath_(pagePath) {
    setWindowTitle(QStringLiteral("Setup Password"));
    auto* layout = new QVBoxLayout(this);

    deviceGroup = new QGroupBox(QStringLiteral("Device Password"), this);
    deviceGroup->setCheckable(true);
    auto* dg = new QGridLayout(deviceGroup);
    blank = new QCheckBox(QStringLiteral("Device is Blank"), deviceGroup);
    deviceAuto =
        new QRadioButton(QStringLiteral("Auto(Search from Password Log File)"), deviceGroup);
    deviceManual = new QRadioButton(QStringLiteral("Manual"), deviceGroup);
    searchFile = new QPushButton(QStringLiteral(" Search from File "), deviceGroup);
    auto* sourceGroup = new QButtonGroup(this);
    sourceGroup->addButton(deviceAuto);
    sourceGroup->addButton(deviceManual);
    dg->addWidget(blank, 0, 0, 1, 2);
    dg->addWidget(deviceAuto, 1, 0, 1, 2);
    dg->addWidget(deviceManual, 2, 0);
    dg->addWidget(searchFile, 2, 1, Qt::AlignLeft);
    auto* inputType = new QHBoxLayout;
    ascii = new QRadioButton(QStringLiteral("Ascii"), deviceGroup);
    hex = new QRadioButton(QStringLiteral("Hex"), deviceGroup);
    auto* typeGroup = new QButtonGroup(this);
    typeGroup->addButton(ascii);
    typeGroup->addButton(hex);
    inputType->addWidget(ascii);
    inputType->addWidget(hex);
    inputType->addStretch(1);
    dg->addWidget(new QLabel(QStringLiteral("Input Type"), deviceGroup), 3, 0);
    dg->addLayout(inputType, 3, 1);
    password = new CSelectAllEdit(deviceGroup);
    password->setObjectName(QStringLiteral("password"));
    password->setMinimumWidth(300);
    dg->addWidget(new QLabel(QStringLiteral("Password"), deviceGroup), 4, 0);
    dg->addWidget(password, 4, 1);
    deviceNumAdd = new CSelectAllEdit(deviceGroup);
    deviceCmpAdd = new CSelectAllEdit(deviceGroup);
    dg->addWidget(new QLabel(QStringLiteral("Password count storage address"), deviceGroup), 5, 0);
    dg->addWidget(deviceNumAdd, 5, 1);
    dg->addWidget(new QLabel(QStringLiteral("Password comparison start address"), deviceGroup), 6,
                  0);
    dg->addWidget(deviceCmpAdd, 6, 1);
    layout->addWidget(deviceGroup);

    objectGroup = new QGroupBox(QStringLiteral("Object File Password"), this);
    objectGroup->setCheckable(true);
    auto* og = new QGridLayout(objectGroup);
    objectAuto = new QRadioButton(QStringLiteral("Auto(Search from Object File)"), objectGroup);
    objectManual = new QRadioButton(QStringLiteral("Manual"), objectGroup);
    og->addWidget(objectAuto, 0, 0, 1, 2);
    og->addWidget(objectManual, 1, 0, 1, 2);
    objectNumAdd = new CSelectAllEdit(objectGroup);
    objectCmpAdd = new CSelectAllEdit(objectGroup);
    og->addWidget(new QLabel(QStringLiteral("Password count storage address"), objectGroup), 2, 0);
    og->addWidget(objectNumAdd, 2, 1);
    og->addWidget(new QLabel(QStringLiteral("Password comparison start adress"), objectGroup), 3,
                  0);
    og->addWidget(objectCmpAdd, 3, 1);
    og->setColumnStretch(1, 1);
    layout->addWidget(objectGroup);
    saveLog = new QCheckBox(QStringLiteral("Save Password Log File"), this);
    layout->addWidget(saveLog);

    auto* buttons = new QHBoxLayout;
    helpButton = new QPushButton(QStringLiteral("Help"), this);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    okButton->setDefault(true);
    buttons->addWidget(helpButton);
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);

    fill(pageValues ? *pageValues : core_.settings.inForce);
    connect(deviceGroup, &QGroupBox::toggled, this, &CPasswordDlg::refresh);
    connect(objectGroup, &QGroupBox::toggled, this, &CPasswordDlg::refresh);
    connect(blank, &QCheckBox::toggled, this, &CPasswordDlg::blankToggled);
    connect(deviceAuto, &QRadioButton::clicked, this, &CPasswordDlg::deviceAutoChosen);
    connect(deviceManual, &QRadioButton::clicked, this, [this] {
        fromFile_ = false;
        refresh();
    });
    connect(searchFile, &QPushButton::clicked, this, &CPasswordDlg::searchFromFile);
    connect(objectAuto, &QRadioButton::clicked, this, &CPasswordDlg::objectAutoChosen);
    connect(objectManual, &QRadioButton::clicked, this, &CPasswordDlg::refresh);
    connect(helpButton, &QPushButton::clicked, this, [this] { core_.op.showMessage(12204); });
    connect(okButton, &QPushButton::clicked, this, &CPasswordDlg::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CPasswordDlg::reject);
}

void CPasswordDlg::fill(const SetupValues& v) {
    deviceGroup->setChecked(v.passDevBlank != 0);
    blank->setChecked(v.passDevBlank == 1);
    (v.passDevBlank == 3 ? deviceAuto : deviceManual)->setChecked(true);
    (v.passDevType == 1 ? hex : ascii)->setChecked(true);
    password->setText(QString::fromStdString(v.passDevPassword));
    // Addresses that the device fixes are not shown.
    const bool shown = !fixedAddresses();
    deviceNumAdd->setText(shown ? address(v.passDevNumAdd) : QString());
    deviceCmpAdd->setText(shown ? address(v.passDevCmpAdd) : QString());
    objectGroup->setChecked(v.passObjBlank != 0);
    objectAuto->setChecked(true);
    objectNumAdd->setText(shown ? address(v.passObjNumAdd) : QString());
    objectCmpAdd->setText(shown ? address(v.passObjCmpAdd) : QString());
    saveLog->setChecked(v.passLogSave == 1);
    refresh();
}

bool CPasswordDlg::fixedAddresses() const {
    return !device_ || BootTypesC(device_->bootType);
}

void CPasswordDlg::refresh() {
    const bool dev = deviceGroup->isChecked();
    const bool typing = dev && !blank->isChecked() && deviceManual->isChecked() && !fromFile_;
    blank->setEnabled(dev);
    deviceAuto->setEnabled(dev);
    deviceManual->setEnabled(dev);
    searchFile->setEnabled(dev);
    ascii->setEnabled(typing);
    hex->setEnabled(typing);
    password->setEnabled(typing);
    deviceNumAdd->setEnabled(typing && !fixedAddresses());
    deviceCmpAdd->setEnabled(typing && !fixedAddresses());
    const bool obj = objectGroup->isChecked();
    objectAuto->setEnabled(obj);
    objectManual->setEnabled(obj);
    const bool objTyping = obj && objectManual->isChecked() && !fixedAddresses();
    objectNumAdd->setEnabled(objTyping);
    objectCmpAdd->setEnabled(objTyping);
}

void CPasswordDlg::blankToggled(bool on) {
    if (on) {
        hex->setChecked(true);
        SetupValues blankChip;
        const bool known = blankDeviceFields(core_, device_, blankChip);
        if (known) password->setText(QString::fromStdString(blankChip.passDevPassword));
        const QString area =
            known && !fixedAddresses() ? address(blankChip.passDevNumAdd) : QString();
        deviceNumAdd->setText(area);
        deviceCmpAdd->setText(area);
    }
    refresh();
}

void CPasswordDlg::searchFromFile() {
    FileRequest r;
    r.folder = QString::fromStdString(std::filesystem::path(objectPath()).parent_path().string());
    r.filters = kObjectFileFilters;
    r.filterIndex = doc_.core.settings.objectFilterIndex;
    const QString chosen = doc_.chooseFile(r);
    if (!chosen.isEmpty()) doc_.core.settings.objectFilterIndex = r.filterIndex;
    ObjectPassword found;
    if (findPasswordInObjectFile(core_, chosen.toStdString(), found, 12152) != 1) return;
    hex->setChecked(true);
    deviceManual->setChecked(true);
    password->setText(QString::fromStdString(found.text));
    deviceNumAdd->setText(fixedAddresses() ? QString() : address(found.numAdd));
    deviceCmpAdd->setText(fixedAddresses() ? QString() : address(found.cmpAdd));
    fromFile_ = true;
    refresh();
}

void CPasswordDlg::deviceAutoChosen() {
    fromFile_ = false;
    hex->setChecked(true);
    refresh();
    // What the log knows of the chip now; nothing known, nothing shown.
    PasswordLogEntry found;
    const bool known = core_.lookUpDevicePassword(found).status == 1;
    password->setText(known ? QString::fromStdString(found.password) : QString());
    if (!fixedAddresses()) {
        deviceNumAdd->setText(known ? address(found.numAdd) : QString());
        deviceCmpAdd->setText(known ? address(found.cmpAdd) : QString());
    }
}

std::string CPasswordDlg::objectPath() const {
    return pageValues_ ? pageValues_->openFile : core_.settings.inForce.openFile;
}

void CPasswordDlg::objectAutoChosen() {
    refresh();
    ObjectPassword found;
    if (findPasswordInObjectFile(core_, objectPath(), found, 12146) != 1) return;
    objectNumAdd->setText(fixedAddresses() ? QString() : address(found.numAdd));
    objectCmpAdd->setText(fixedAddresses() ? QString() : address(found.cmpAdd));
}

void CPasswordDlg::accept() {
    PasswordEntry e;
    e.deviceGroup = deviceGroup->isChecked();
    e.deviceSource = blank->isChecked() ? 1 : deviceAuto->isChecked() ? 3 : 2;
    e.hex = hex->isChecked();
    e.devicePassword = typed(password);
    e.deviceNumAdd = typed(deviceNumAdd);
    e.deviceCmpAdd = typed(deviceCmpAdd);
    e.objectGroup = objectGroup->isChecked();
    e.objectAuto = objectAuto->isChecked();
    e.objectNumAdd = typed(objectNumAdd);
    e.objectCmpAdd = typed(objectCmpAdd);
    e.passLogSave = saveLog->isChecked();
    e.device = device_;
    e.objectFile = objectPath();
    e.pageValues = pageValues_;
    e.pagePath = pagePath_;
    PasswordField field = PasswordField::None;
    if (core_.setPasswords(e, &field).status != 1) {
        QWidget* focus[] = {nullptr,    password,     deviceNumAdd, deviceCmpAdd,
                            objectAuto, objectNumAdd, objectCmpAdd};
        if (QWidget* w = focus[static_cast<int>(field)]) w->setFocus();
        return;
    }
    QDialog::accept();
}

void CPasswordDlg::reject() {
    if (core_.op.ask(12006)) QDialog::reject();
}

}  // namespace ostrand::ui
