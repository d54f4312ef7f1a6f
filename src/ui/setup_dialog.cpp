#include "ui/setup_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/password_rules.h"
#include "app/profile.h"
#include "document/document.h"
#include "document/setup_commands.h"
#include "serial/serial_port.h"
#include "ui/info_dialogs.h"
#include "ui/ostrand_doc.h"
#include "ui/password_dialog.h"

namespace ostrand::ui {

namespace fs = std::filesystem;

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* helpLabel(int32_t code, QWidget* parent) {
    auto* l = new QLabel(QString::fromUtf8(messageTextOrFallback(code).data()), parent);
    l->setObjectName(QStringLiteral("help"));
    l->setWordWrap(true);
    l->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    l->setMargin(6);
    l->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    return l;
}

QString hexText(const char* format, uint32_t value) {
    return QString::asprintf(format, static_cast<unsigned long>(value));
}

QString folderOf(const std::string& path) {
    return path.empty() ? QString() : text(fs::path(path).parent_path().string());
}

}  // namespace

void CSelectAllEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // After the click that gave the focus has placed the cursor.
    QTimer::singleShot(0, this, &QLineEdit::selectAll);
}

// ---------------------------------------------------------------- Setup File

CSetupFilePage::CSetupFilePage(COstrandDoc& doc, QWidget* parent) : CSetupPage(parent), doc_(doc) {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    pathBox = new CSelectAllEdit(this);
    pathBox->setObjectName(QStringLiteral("setupFile"));
    browse = new QPushButton(QStringLiteral("Browse..."), this);
    row->addWidget(pathBox, 1);
    row->addWidget(browse);
    auto* box = new QGroupBox(QStringLiteral("Setup File"), this);
    box->setLayout(row);
    layout->addWidget(box);
    layout->addWidget(helpLabel(12202, this), 1);
    connect(browse, &QPushButton::clicked, this, [this] {
        FileRequest r;
        r.folder = folderOf(doc_.core.settings.setupPath.string());
        r.initial = pathBox->text();
        r.filters = kSetupFileFilters;
        const QString chosen = doc_.chooseFile(r);
        if (!chosen.isEmpty()) pathBox->setText(chosen);
    });
}

void CSetupFilePage::fill(const SetupValues&) {
    pathBox->setText(text(doc_.core.settings.setupPath.string()));
}

QList<QWidget*> CSetupFilePage::fields() const {
    return {pathBox, browse};
}

// ---------------------------------------------------------------- Device

CDevicePage::CDevicePage(DocumentCore& core, QWidget* parent) : CSetupPage(parent), core_(core) {
    auto* layout = new QVBoxLayout(this);
    auto* lists = new QGridLayout;
    seriesList = new QComboBox(this);
    seriesList->setObjectName(QStringLiteral("series"));
    deviceList = new QComboBox(this);
    deviceList->setObjectName(QStringLiteral("device"));
    applyButton = new QPushButton(QStringLiteral("Apply"), this);
    lists->addWidget(new QLabel(QStringLiteral("Series"), this), 0, 0);
    lists->addWidget(seriesList, 0, 1);
    lists->addWidget(new QLabel(QStringLiteral("Device"), this), 1, 0);
    lists->addWidget(deviceList, 1, 1);
    lists->addWidget(applyButton, 1, 2);
    lists->setColumnStretch(1, 1);
    layout->addLayout(lists);

    auto* row = new QHBoxLayout;
    auto* chosenFrame = new QGroupBox(QStringLiteral("Chosen Device"), this);
    chosenDevice = new QLabel(chosenFrame);
    chosenDevice->setObjectName(QStringLiteral("chosenDevice"));
    chosenDevice->setMinimumWidth(120);
    (new QVBoxLayout(chosenFrame))->addWidget(chosenDevice);
    row->addWidget(chosenFrame, 1);
    auto* optionFrame = new QGroupBox(QStringLiteral("Address Option"), this);
    auto* optionRow = new QHBoxLayout(optionFrame);
    addressOption = new QCheckBox(QStringLiteral("Use the areas"), optionFrame);
    setting = new QPushButton(QStringLiteral("Setting"), optionFrame);
    optionRow->addWidget(addressOption);
    optionRow->addWidget(setting);
    row->addWidget(optionFrame, 1);
    layout->addLayout(row);

    auto* emulationRow = new QHBoxLayout;
    emulationLabel = new QLabel(QStringLiteral("Emulation"), this);
    emulation = new QComboBox(this);
    emulation->setObjectName(QStringLiteral("emulation"));
    for (const EmulationEntry& e : kEmulationEntries)
        emulation->addItem(QString::fromLatin1(e.text), e.value);
    limitLabel = new QLabel(QStringLiteral("Limit"), this);
    limit = new CSelectAllEdit(this);
    limit->setObjectName(QStringLiteral("limit"));
    emulationRow->addWidget(emulationLabel);
    emulationRow->addWidget(emulation, 1);
    emulationRow->addWidget(limitLabel);
    emulationRow->addWidget(limit, 1);
    layout->addLayout(emulationRow);
    layout->addWidget(helpLabel(12200, this), 1);

    for (const std::string& s : core_.devices.seriesNames()) seriesList->addItem(text(s));
    connect(seriesList, &QComboBox::activated, this,
            [this](int) { fillDevices(seriesList->currentText()); });
    connect(applyButton, &QPushButton::clicked, this, &CDevicePage::apply);
    connect(addressOption, &QCheckBox::toggled, this, &CDevicePage::refreshSetting);
    connect(setting, &QPushButton::clicked, this, &CDevicePage::settingPressed);
    connect(emulation, &QComboBox::activated, this,
            [this](int) { limit->setEnabled(limitEnabled(emulationValue())); });
}

void CDevicePage::fillDevices(const QString& series, const QString& select) {
    deviceList->clear();
    for (const DeviceDefinition& d : core_.devices.records())
        if (text(d.seriesName) == series) deviceList->addItem(text(d.deviceName));
    const int i = select.isEmpty() ? 0 : deviceList->findText(select);
    deviceList->setCurrentIndex(deviceList->count() ? std::max(i, 0) : -1);
}

void CDevicePage::fill(const SetupValues& v) {
    chosen_ = v.device.empty() ? nullptr : core_.devices.find(v.device);
    if (chosen_) {
        seriesList->setCurrentText(text(chosen_->seriesName));
        fillDevices(text(chosen_->seriesName), text(chosen_->deviceName));
    } else {
        seriesList->setCurrentIndex(seriesList->count() ? 0 : -1);
        fillDevices(seriesList->currentText());
    }
    chosenDevice->setText(chosen_ ? text(chosen_->deviceName) : QString());
    addressOption->setChecked(v.addressOption == 1);
    refreshSetting();
    refreshEmulation(v);
}

QList<QWidget*> CDevicePage::fields() const {
    // The Device list takes the focus on opening.
    return {deviceList, seriesList, applyButton, addressOption, setting, emulation, limit};
}

const DeviceDefinition* CDevicePage::listed() const {
    if (deviceList->currentIndex() < 0) return nullptr;
    return core_.devices.find(deviceList->currentText().toStdString());
}

void CDevicePage::apply() {
    const DeviceDefinition* previous = chosen_;
    chosen_ = listed();
    chosenDevice->setText(chosen_ ? text(chosen_->deviceName) : QString());
    emit deviceApplied(previous, chosen_);
    refreshSetting();
}

void CDevicePage::refreshSetting() {
    setting->setEnabled(
        addressSettingEnabled(addressOption->isChecked(), chosen_ ? chosen_->bootType : 0));
}

void CDevicePage::refreshEmulation(const SetupValues& v) {
    const bool shown = chosen_ && bootTypeRow(chosen_->bootType).memorySizes;
    for (QWidget* w : {static_cast<QWidget*>(emulationLabel), static_cast<QWidget*>(emulation),
                       static_cast<QWidget*>(limitLabel), static_cast<QWidget*>(limit)})
        w->setVisible(shown);
    if (!shown) return;
    emulation->setCurrentIndex(emulationIndex(v.memSizeEmulat));
    limit->setText(hexText("0x%lx", v.memAddressLimit));
    const bool on = limitEnabled(v.memSizeEmulat);
    limitLabel->setEnabled(on);
    limit->setEnabled(on);
}

int32_t CDevicePage::emulationValue() const {
    return emulation->currentData().toInt();
}

// ---------------------------------------------------------------- Object File

CObjectFilePage::CObjectFilePage(COstrandDoc& doc, QWidget* parent)
    : CSetupPage(parent), doc_(doc) {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    pathBox = new CSelectAllEdit(this);
    pathBox->setObjectName(QStringLiteral("objectFile"));
    browse = new QPushButton(QStringLiteral("Browse..."), this);
    row->addWidget(pathBox, 1);
    row->addWidget(browse);
    auto* box = new QGroupBox(QStringLiteral("Object File"), this);
    box->setLayout(row);
    layout->addWidget(box);
    layout->addWidget(helpLabel(12201, this), 1);
    connect(browse, &QPushButton::clicked, this, [this] {
        FileRequest r;
        const std::string current = pathBox->text().toStdString();
        r.folder =
            current.empty() ? folderOf(doc_.core.settings.setupPath.string()) : folderOf(current);
        r.initial = pathBox->text();
        r.filters = kObjectFileFilters;
        r.filterIndex = doc_.core.settings.objectFilterIndex;
        const QString chosen = doc_.chooseFile(r);
        if (chosen.isEmpty()) return;
        doc_.core.settings.objectFilterIndex = r.filterIndex;
        pathBox->setText(chosen);
    });
}

void CObjectFilePage::fill(const SetupValues& v) {
    pathBox->setText(text(v.openFile));
}

QList<QWidget*> CObjectFilePage::fields() const {
    return {pathBox, browse};
}

// ---------------------------------------------------------------- Communication

CCommunicationPage::CCommunicationPage(DocumentCore& core, QWidget* parent)
    : CSetupPage(parent), core_(core) {
    auto* layout = new QGridLayout(this);
    portList = new QComboBox(this);
    portList->setObjectName(QStringLiteral("comPort"));
    portList->setMinimumContentsLength(18);
    layout->addWidget(new QLabel(QStringLiteral("COM Port"), this), 0, 0);
    layout->addWidget(portList, 0, 1, 1, 3);

    clockFrame = new QGroupBox(QStringLiteral("Clock"), this);
    auto* clockRow = new QHBoxLayout(clockFrame);
    const char* const clocks[] = {" 16MHz", " 8MHz", " 4MHz"};
    for (int i = 0; i < 3; ++i) {
        clockChoices[i] = new QRadioButton(QString::fromLatin1(clocks[i]), clockFrame);
        clockRow->addWidget(clockChoices[i]);
        connect(clockChoices[i], &QRadioButton::clicked, this,
                [this] { rateList->setCurrentIndex(rateIndexOfClock(clock())); });
    }
    layout->addWidget(clockFrame, 1, 0, 1, 4);

    manual = new QRadioButton(QStringLiteral("Data Rate Manual"), this);
    automatic = new QRadioButton(QStringLiteral("Data Rate Auto"), this);
    auto* rateMode = new QButtonGroup(this);
    rateMode->addButton(manual);
    rateMode->addButton(automatic);
    layout->addWidget(manual, 2, 0, 1, 2);
    layout->addWidget(automatic, 2, 2, 1, 2);

    rateLabel = new QLabel(QStringLiteral("Data Rate"), this);
    rateList = new QComboBox(this);
    rateList->setObjectName(QStringLiteral("dataRate"));
    for (int32_t i = 0; i < DataRate::kCount; ++i)
        rateList->addItem(QString::fromLatin1(DataRate::at(i).text()));
    bpsLabel = new QLabel(QStringLiteral("bps"), this);
    layout->addWidget(rateLabel, 3, 0);
    layout->addWidget(rateList, 3, 1);
    layout->addWidget(bpsLabel, 3, 2);

    fixedRate = new QLabel(QStringLiteral("Data Rate 115200 bps"), this);
    layout->addWidget(fixedRate, 4, 0, 1, 4);
    clockLabel = new QLabel(QStringLiteral("Clock"), this);
    clockBox = new CSelectAllEdit(this);
    clockBox->setObjectName(QStringLiteral("clockValue"));
    mhzLabel = new QLabel(QStringLiteral("MHz"), this);
    layout->addWidget(clockLabel, 5, 0);
    layout->addWidget(clockBox, 5, 1);
    layout->addWidget(mhzLabel, 5, 2);
    help = helpLabel(12203, this);
    layout->addWidget(help, 6, 0, 1, 4);
    layout->setRowStretch(6, 1);
    layout->setColumnStretch(3, 1);

    for (QRadioButton* b : {manual, automatic})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on) layOut(device_, false);
        });
}

void CCommunicationPage::fillPorts(const std::string& select) {
    portList->clear();
    for (const std::string& p : core_.settings.ports) portList->addItem(text(p));
    // A pseudo-terminal or a by-id link that the system does not list.
    if (!select.empty() && portList->findText(text(select)) < 0) portList->addItem(text(select));
    const int i = portList->findText(text(select));
    portList->setCurrentIndex(i >= 0 ? i : (portList->count() ? 0 : -1));
}

void CCommunicationPage::fill(const SetupValues& v) {
    fillPorts(v.comPort);
    clockChoices[v.clock == 8 ? 1 : v.clock == 4 ? 2 : 0]->setChecked(true);
    (v.clockFlag == 1 ? automatic : manual)->setChecked(true);
    clockBox->setText(v.clockValue == 0.0 ? QString() : QString::asprintf("%0.6f", v.clockValue));
    device_ = v.device.empty() ? nullptr : core_.devices.find(v.device);
    rateList->setCurrentIndex(initialRateIndex(device_, v));
    layOut(device_, false);
}

QList<QWidget*> CCommunicationPage::fields() const {
    return {portList, clockChoices[0], clockChoices[1], clockChoices[2],
            manual,   automatic,       rateList,        clockBox};
}

void CCommunicationPage::layOut(const DeviceDefinition* device, bool changed) {
    if (changed && clockChoiceDevice(device) && !clockChoiceDevice(device_)) {
        clockChoices[0]->setChecked(true);
        rateList->setCurrentIndex(rateIndexOfClock(16));
    }
    device_ = device;
    const CommunicationLayout l = communicationLayout(device, automatic->isChecked());
    if (l.forceAuto && !automatic->isChecked()) {
        automatic->setChecked(true);  // lays out again
        return;
    }
    clockFrame->setVisible(l.clockFrame);
    for (QWidget* w : {static_cast<QWidget*>(manual), static_cast<QWidget*>(automatic),
                       static_cast<QWidget*>(fixedRate), static_cast<QWidget*>(clockLabel),
                       static_cast<QWidget*>(clockBox), static_cast<QWidget*>(mhzLabel)})
        w->setVisible(l.clockEntry);
    manual->setEnabled(l.manualEnabled);
    for (QWidget* w : {static_cast<QWidget*>(fixedRate), static_cast<QWidget*>(clockLabel),
                       static_cast<QWidget*>(mhzLabel)})
        w->setEnabled(l.clockRowEnabled);
    clockBox->setEnabled(l.clockBoxEnabled);
    if (l.fixedClock > 0.0) clockBox->setText(QString::asprintf("%0.6f", l.fixedClock));
    for (QWidget* w : {static_cast<QWidget*>(rateLabel), static_cast<QWidget*>(rateList),
                       static_cast<QWidget*>(bpsLabel)})
        w->setEnabled(l.rateListEnabled);
    help->setText(QString::fromUtf8(messageTextOrFallback(l.help).data()));
}

int32_t CCommunicationPage::clock() const {
    return clockChoices[1]->isChecked() ? 8 : clockChoices[2]->isChecked() ? 4 : 16;
}

bool CCommunicationPage::autoRate() const {
    return automatic->isChecked();
}

// ---------------------------------------------------------------- dialog

CSetupDlg::CSetupDlg(COstrandDoc& doc, int firstPage, QWidget* parent)
    : QDialog(parent), doc_(doc), core_(doc.core) {
    setWindowTitle(QStringLiteral("Setup"));
    values = core_.settings.inForce;
    kept_ = values;
    auto* layout = new QVBoxLayout(this);
    tabs = new QTabBar(this);
    tabs->setFocusPolicy(Qt::NoFocus);
    stack_ = new QStackedWidget(this);
    setupFilePage = new CSetupFilePage(doc_, stack_);
    devicePage = new CDevicePage(core_, stack_);
    objectFilePage = new CObjectFilePage(doc_, stack_);
    communicationPage = new CCommunicationPage(core_, stack_);
    pages_ = {setupFilePage, devicePage, objectFilePage, communicationPage};
    const char* const names[] = {"Setup File", "Device", "Object File", "Communication"};
    for (int i = 0; i < kSetupPageCount; ++i) {
        tabs->addTab(QString::fromLatin1(names[i]));
        stack_->addWidget(pages_[i]);
    }
    layout->addWidget(tabs);
    layout->addWidget(stack_, 1);

    auto* buttons = new QHBoxLayout;
    passwordButton = new QPushButton(QStringLiteral("Password"), this);
    optionButton = new QPushButton(QStringLiteral("Option"), this);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    okButton->setDefault(true);
    buttons->addWidget(passwordButton);
    buttons->addWidget(optionButton);
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);

    // One sequence: the fields of every page (hidden ones are skipped),
    // then the dialog's buttons, round again.
    QList<QWidget*> chain;
    for (CSetupPage* p : pages_) chain += p->fields();
    chain += {passwordButton, optionButton, okButton, cancelButton};
    for (int i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);

    connect(okButton, &QPushButton::clicked, this, &CSetupDlg::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CSetupDlg::reject);
    connect(passwordButton, &QPushButton::clicked, this, &CSetupDlg::openPassword);
    connect(optionButton, &QPushButton::clicked, this, &CSetupDlg::openOption);
    connect(devicePage, &CDevicePage::deviceApplied, this, &CSetupDlg::deviceApplied);
    connect(devicePage, &CDevicePage::settingPressed, this, &CSetupDlg::openAddressOption);

    fillPages();
    setupFilePage->fill(values);
    shown_ = setupFirstPage(firstPage);
    tabs->setCurrentIndex(shown_);
    stack_->setCurrentIndex(shown_);
    connect(tabs, &QTabBar::currentChanged, this, &CSetupDlg::choosePage);
    pages_[shown_]->fields().front()->setFocus();
}

void CSetupDlg::fillPages() {
    devicePage->fill(values);
    objectFilePage->fill(values);
    communicationPage->fill(values);
}

int CSetupDlg::page() const {
    return stack_->currentIndex();
}

void CSetupDlg::choosePage(int next) {
    if (shown_ == kPageSetupFile && next != kPageSetupFile) {
        bool tookUp = false;
        takeUpNewSetupFile(tookUp);
    }
    // Another instance may have taken or given back a port meanwhile.
    if (next == kPageCommunication && core_.session.MultiInstance == 1) {
        const std::string port = communicationPage->portList->currentText().toStdString();
        SerialPort::systemPorts(true, port).swap(core_.settings.ports);
        communicationPage->fillPorts(port);
    }
    shown_ = next;
    if (tabs->currentIndex() != next) tabs->setCurrentIndex(next);
    stack_->setCurrentIndex(next);
    pages_[next]->fields().front()->setFocus();
}

bool CSetupDlg::takeUpNewSetupFile(bool& tookUp) {
    tookUp = false;
    const std::string path = setupFilePage->pathBox->text().trimmed().toStdString();
    if (path.empty() || equalsNoCase(path, core_.settings.setupPath.string())) return true;
    const int32_t r = core_.takeUpSetupFile(path).status;
    if (r == -1) setupFilePage->pathBox->clear();
    if (r != 1) return false;
    tookUp = true;
    values = core_.settings.inForce;
    kept_ = values;
    fillPages();
    return true;
}

void CSetupDlg::showMessage(int32_t code, int32_t hint) {
    core_.op.showMessage(code, 0, hint);
}

void CSetupDlg::deviceApplied(const DeviceDefinition*, const DeviceDefinition* next) {
    // The device in force and the passwords that follow it.
    core_.applyDevice(next ? next->deviceName : std::string());
    const SetupValues& v = core_.settings.inForce;
    values.device = v.device;
    values.passDevBlank = v.passDevBlank;
    values.passDevType = v.passDevType;
    values.passDevPassword = v.passDevPassword;
    values.passDevNumAdd = v.passDevNumAdd;
    values.passDevCmpAdd = v.passDevCmpAdd;
    values.passObjBlank = v.passObjBlank;
    values.passObjNumAdd = v.passObjNumAdd;
    values.passObjCmpAdd = v.passObjCmpAdd;
    devicePage->refreshEmulation(values);
    communicationPage->layOut(next, true);
}

void CSetupDlg::openAddressOption() {
    const DeviceDefinition* chosen = devicePage->chosen();
    if (const FieldVerdict v = addressSettingVerdict(chosen, devicePage->listed()); !v.passed()) {
        showMessage(v.code, v.hint);
        return;
    }
    CAddressOptionDlg dialog(core_, *chosen, devicePage->addressOption->isChecked(), values, this);
    doc_.op.setDialogOwner(&dialog);
    dialog.exec();
    doc_.op.setDialogOwner(this);
}

void CSetupDlg::openPassword() {
    const DeviceDefinition* chosen = devicePage->chosen();
    if (const FieldVerdict v = passwordButtonVerdict(chosen); !v.passed()) {
        showMessage(v.code, v.hint);
        return;
    }
    values.openFile = objectFilePage->pathBox->text().toStdString();
    CPasswordDlg dialog(doc_, chosen, &values, setupFilePage->pathBox->text().toStdString(), this);
    doc_.op.setDialogOwner(&dialog);
    dialog.exec();
    doc_.op.setDialogOwner(this);
}

void CSetupDlg::openOption() {
    CSetupOptionDlg dialog(core_, devicePage->chosen(), &values,
                           setupFilePage->pathBox->text().toStdString(), this);
    doc_.op.setDialogOwner(&dialog);
    dialog.exec();
    doc_.op.setDialogOwner(this);
}

void CSetupDlg::accept() {
    bool tookUp = false;
    if (!takeUpNewSetupFile(tookUp)) return;
    const bool multi = core_.session.MultiInstance == 1;
    const fs::path pagePath = multi ? setupFilePage->pathBox->text().toStdString() : "";
    if (tookUp) {
        if (core_.applySetup().status == 1 && saveSetupFor(core_, pagePath) == 0) QDialog::accept();
        return;
    }
    SetupPagesState p;
    p.device = devicePage->chosen();
    p.objectFile = objectFilePage->pathBox->text().trimmed().toStdString();
    p.comPort = communicationPage->portList->currentText().toStdString();
    p.rateIndex = communicationPage->rateList->currentIndex();
    p.clock = communicationPage->clock();
    p.addressOption = devicePage->addressOption->isChecked();
    p.autoRate = communicationPage->autoRate();
    p.clockText = communicationPage->clockBox->text().trimmed().toStdString();
    p.emulation = devicePage->emulationValue();
    p.limitText = devicePage->limit->text().trimmed().toStdString();
    SetupValues copy = values;
    const FieldVerdict verdict = readSetupPages(p, copy);
    if (!verdict.passed()) {
        showMessage(verdict.code, verdict.hint);
        if (verdict.field == kFieldLimit) {
            choosePage(kPageDevice);
            devicePage->limit->setFocus();
        } else {
            choosePage(kPageDevice);
        }
        return;
    }
    if (!copy.openFile.empty()) {
        std::error_code ec;
        const fs::path full = fs::absolute(copy.openFile, ec);
        if (!ec) copy.openFile = full.lexically_normal().string();
    }
    // Applying closes the old link and connects with the new port and rate.
    core_.settings.inForce = copy;
    if (core_.applySetup().status != 1) return;
    if (saveSetupFor(core_, pagePath) == 0) QDialog::accept();
}

void CSetupDlg::reject() {
    // Apply may have chosen another device and its passwords; the setup's
    // own stay in force.
    core_.settings.inForce = kept_;
    core_.passwords.takeSetup(kept_);
    const std::string& device = kept_.device;
    if (device.empty() || core_.devices.select(device) < 0) core_.devices.deselect();
    QDialog::reject();
}

void openSetupDialogAtStartUp(COstrandDoc& doc) {
    doc.core.openSetupDialog = [&doc] { execSetupDialog(doc, kPageSetupFile, nullptr); };
}

int execSetupDialog(COstrandDoc& doc, int page, QWidget* parent) {
    CSetupDlg dialog(doc, page, parent);
    doc.op.setDialogOwner(&dialog);
    const int r = dialog.exec();
    doc.op.setDialogOwner(parent);
    return r;
}

// ---------------------------------------------------------------- Address Option

CAddressOptionDlg::CAddressOptionDlg(DocumentCore& core, const DeviceDefinition& device,
                                     bool ticked, SetupValues& values, QWidget* parent)
    : QDialog(parent), core_(core), device_(device), ticked_(ticked), values_(values) {
    setWindowTitle(QStringLiteral("Address Option"));
    auto* layout = new QVBoxLayout(this);
    const uint32_t shown[4] = {values.romArea1Start, values.romArea1End, values.romArea2Start,
                               values.romArea2End};
    QGroupBox* areas[2] = {};
    const char* const titles[] = {"1st ROM Area", "2nd ROM Area"};
    for (int a = 0; a < 2; ++a) {
        areas[a] = new QGroupBox(QString::fromLatin1(titles[a]), this);
        auto* grid = new QGridLayout(areas[a]);
        for (int end = 0; end < 2; ++end) {
            auto* box = new CSelectAllEdit(areas[a]);
            box->setObjectName(QStringLiteral("area%1%2").arg(a + 1).arg(end ? "End" : "Start"));
            box->setText(hexText("0x%lX", shown[2 * a + end]));
            box->setEnabled(ticked);
            grid->addWidget(
                new QLabel(end ? QStringLiteral("End Address") : QStringLiteral("Start Address"),
                           areas[a]),
                end, 0);
            grid->addWidget(box, end, 1);
            boxes[2 * a + end] = box;
        }
        layout->addWidget(areas[a]);
    }
    secondArea = areas[1];

    auto* dataFrame = new QGroupBox(QStringLiteral("Data for No Address Area"), this);
    auto* dataRow = new QHBoxLayout(dataFrame);
    data00 = new QRadioButton(QStringLiteral("00"), dataFrame);
    dataFF = new QRadioButton(QStringLiteral("FF"), dataFrame);
    dataRow->addWidget(data00);
    dataRow->addWidget(dataFF);
    dataRow->addStretch(1);
    (values.dataForNoAddressArea == 0 ? data00 : dataFF)->setChecked(true);
    layout->addWidget(dataFrame);
    auto* dataText = new QLabel(
        QStringLiteral("Addresses that the object file does not fill are written and summed "
                       "as this byte."),
        this);
    dataText->setWordWrap(true);
    layout->addWidget(dataText);

    sumFrame = new QGroupBox(QStringLiteral("Add data of No ROM area to Sum ?"), this);
    auto* sumLayout = new QVBoxLayout(sumFrame);
    auto* sumRow = new QHBoxLayout;
    sumYes = new QRadioButton(QStringLiteral("Yes"), sumFrame);
    sumNo = new QRadioButton(QStringLiteral("No"), sumFrame);
    sumRow->addWidget(sumYes);
    sumRow->addWidget(sumNo);
    sumRow->addStretch(1);
    sumLayout->addLayout(sumRow);
    auto* sumText = new QLabel(
        QStringLiteral("Yes: the flash outside the two ROM areas counts in the SUM as the byte "
                       "above.\nNo: only the two ROM areas are summed."),
        sumFrame);
    sumText->setWordWrap(true);
    sumLayout->addWidget(sumText);
    (values.addNoRomAreaToSum == 1 ? sumYes : sumNo)->setChecked(true);
    layout->addWidget(sumFrame);
    const bool second = hasSecondRomArea(device);
    secondArea->setVisible(second);
    sumFrame->setVisible(second);

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &CAddressOptionDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CAddressOptionDlg::reject);
}

void CAddressOptionDlg::accept() {
    AddressAreasText t;
    for (int i = 0; i < 4; ++i) t.boxes[i] = boxes[i]->text().trimmed().toStdString();
    std::array<uint32_t, 4> v{};
    const FieldVerdict verdict = checkAddressAreas(t, device_, v);
    if (!verdict.passed()) {
        core_.op.showMessage(verdict.code, 0, verdict.hint);
        boxes[verdict.field]->setFocus();
        return;
    }
    values_.addressOption = ticked_ ? 1 : 0;
    values_.romArea1Start = v[0];
    values_.romArea1End = v[1];
    values_.romArea2Start = v[2];
    values_.romArea2End = v[3];
    values_.addNoRomAreaToSum = sumYes->isChecked() ? 1 : 0;
    values_.dataForNoAddressArea = data00->isChecked() ? 0x00 : 0xFF;
    QDialog::accept();
}

}  // namespace ostrand::ui
