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
    deviceNumAdd->setText(address(v.passDevNumAdd));
    deviceCmpAdd->setText(address(v.passDevCmpAdd));
    objectGroup->setChecked(v.passObjBlank != 0);
    objectAuto->setChecked(true);
    objectNumAdd->setText(address(v.passObjNumAdd));
    objectCmpAdd->setText(address(v.passObjCmpAdd));
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
        if (!device_) {
            core_.op.showMessage(10115, 0, 12135);
            deviceNumAdd->clear();
            deviceCmpAdd->clear();
        } else {
            password->setText(QString::fromStdString(blankPasswordText(device_->bootType)));
            const QString area = fixedAddresses() ? QString() : address(device_->passwordAreaStart);
            deviceNumAdd->setText(area);
            deviceCmpAdd->setText(area);
        }
    }
    refresh();
}

void CPasswordDlg::searchFromFile() {
    FileRequest r;
    r.folder = QString::fromStdString(std::filesystem::path(objectPath()).parent_path().string());
    r.filters = kObjectFileFilters;
    r.filterIndex = doc_.core.settings.objectFilterIndex;
    const QString chosen = doc_.chooseFile(r);
    if (chosen.isEmpty()) {
        core_.op.showMessage(10135, 0, 12152);
        return;
    }
    doc_.core.settings.objectFilterIndex = r.filterIndex;
    ObjectPassword found;
    if (findPasswordInObjectFile(core_, chosen.toStdString(), found) != 1) return;
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
    if (core_.lookUpDevicePassword().status != 1) return;
    const PasswordSet& found = core_.passwords;
    password->setText(QString::fromStdString(found.devicePassword));
    if (!fixedAddresses()) {
        deviceNumAdd->setText(address(found.deviceNumAdd));
        deviceCmpAdd->setText(address(found.deviceCmpAdd));
    }
}

std::string CPasswordDlg::objectPath() const {
    return pageValues_ ? pageValues_->openFile : core_.settings.inForce.openFile;
}

void CPasswordDlg::objectAutoChosen() {
    refresh();
    const std::string path = objectPath();
    if (path.empty()) {
        core_.op.showMessage(10135, 0, 12146);
        return;
    }
    ObjectPassword found;
    if (findPasswordInObjectFile(core_, path, found) != 1) return;
    objectNumAdd->setText(fixedAddresses() ? QString() : address(found.numAdd));
    objectCmpAdd->setText(fixedAddresses() ? QString() : address(found.cmpAdd));
}

bool CPasswordDlg::fail(int32_t code, int32_t place, int32_t hint, QWidget* field) {
    if (code != 0) core_.op.showMessage(code, place, hint);  // 0: shown already
    if (field) field->setFocus();
    return false;
}

bool CPasswordDlg::check(uint32_t& devNum, uint32_t& devCmp, uint32_t& objNum, uint32_t& objCmp) {
    const int32_t bt = device_ ? device_->bootType : 0;
    devNum = devCmp = objNum = objCmp = 0;
    if (deviceGroup->isChecked()) {
        const RuleVerdict v =
            checkPasswordText(typed(password), bt, hex->isChecked(), blank->isChecked());
        if (!v.passed()) return fail(v.code, v.place, v.hint, password);
        if (deviceNumAdd->isEnabled() && device_) {
            for (auto [box, count, out] : {std::tuple{deviceNumAdd, true, &devNum},
                                           std::tuple{deviceCmpAdd, false, &devCmp}}) {
                const RuleVerdict a = checkPasswordAddress(typed(box), *device_, count, *out);
                if (!a.passed()) return fail(a.code, a.place, a.hint, box);
            }
        } else {
            devNum = prefixedHex(typed(deviceNumAdd)).value_or(0);
            devCmp = prefixedHex(typed(deviceCmpAdd)).value_or(0);
        }
    }
    if (!objectGroup->isChecked() || !device_) return true;
    if (objectNumAdd->isEnabled()) {
        for (auto [box, count, out] :
             {std::tuple{objectNumAdd, true, &objNum}, std::tuple{objectCmpAdd, false, &objCmp}}) {
            const RuleVerdict a = checkPasswordAddress(typed(box), *device_, count, *out);
            if (!a.passed()) return fail(a.code, a.place, a.hint, box);
        }
    } else {
        objNum = prefixedHex(typed(objectNumAdd)).value_or(0);
        objCmp = prefixedHex(typed(objectCmpAdd)).value_or(0);
    }
    const std::string path = objectPath();
    if (path.empty()) return fail(10135, 0, 12146, objectAuto);
    const auto view = objectPasswordView(core_, path);
    if (!view) return fail(0, 0, 0, objectAuto);
    const bool automatic = objectAuto->isChecked();
    if (automatic && objNum == 0 && objCmp == 0 && !fixedAddresses()) {
        // Nothing found in the file: no object password.
        core_.passwords.objectPassword.clear();
        return true;
    }
    if (core_.session.ProgrammingMode == kModeWcpAll && automatic) return true;
    std::string text;
    if (fixedAddresses()) {
        core_.passwords.findObjectPassword(*view, objNum, objCmp, text);
    } else {
        text = PasswordSet::readObjectPassword(*view, objNum, objCmp).text;
    }
    const RuleVerdict v = checkPasswordText(text, bt, true);
    if (!v.passed()) return fail(v.code, v.place, v.hint, objectNumAdd);
    const int32_t kind = takeObjectPassword(core_, *view, text, objNum, objCmp);
    if (kind != 0) return fail(0, 0, 0, kind == 2 ? objectCmpAdd : objectNumAdd);
    return true;
}

void CPasswordDlg::accept() {
    uint32_t devNum = 0, devCmp = 0, objNum = 0, objCmp = 0;
    if (!check(devNum, devCmp, objNum, objCmp)) return;
    const bool isHex = hex->isChecked();
    const std::string text = typed(password);
    auto store = [&](SetupValues& v) {
        const bool dev = deviceGroup->isChecked();
        v.passDevBlank = !dev ? 0 : blank->isChecked() ? 1 : deviceAuto->isChecked() ? 3 : 2;
        v.passDevType = isHex ? 1 : 0;
        v.passDevPassword = dev ? text : std::string();
        v.passDevNumAdd = devNum;
        v.passDevCmpAdd = devCmp;
        v.passObjBlank = objectGroup->isChecked() ? 2 : 0;
        v.passObjNumAdd = objNum;
        v.passObjCmpAdd = objCmp;
        v.passLogSave = saveLog->isChecked() ? 1 : 0;
    };
    if (pageValues_) store(*pageValues_);
    store(core_.settings.inForce);
    core_.passwords.takeSetup(core_.settings.inForce);
    saveSetupFor(core_, pagePath_);
    if (device_ && BootTypesF(device_->bootType) && passwordHoldsColon(text, isHex))
        doc_.op.information(QString::fromUtf8(messageTextOrFallback(12149).data()));
    QDialog::accept();
}

void CPasswordDlg::reject() {
    if (core_.op.ask(12006)) QDialog::reject();
}

}  // namespace ostrand::ui
