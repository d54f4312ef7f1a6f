// The Setup dialog: four pages (setup file, device, object file,
// communication) under one tab strip, and the Address Option dialog of the
// Device page. The rules come from document/setup_rules.h; these windows
// fill, read and lay out their fields.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QWidget>
#include <array>

#include "app/setup_settings.h"
#include "document/setup_rules.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;

namespace ostrand {
class DocumentCore;
}

namespace ostrand::ui {

class COstrandDoc;

// A text box that selects its whole text when it receives the focus.
class CSelectAllEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CSelectAllEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

  protected:
    void focusInEvent(QFocusEvent* event) override;
};

// What every page offers the dialog.
class CSetupPage : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;
    virtual void fill(const SetupValues& values) = 0;
    // The page's fields in tab order; the first takes the focus.
    virtual QList<QWidget*> fields() const = 0;
};

class CSetupFilePage : public CSetupPage {
    Q_OBJECT
  public:
    CSetupFilePage(COstrandDoc& doc, QWidget* parent);
    void fill(const SetupValues& values) override;
    QList<QWidget*> fields() const override;
    CSelectAllEdit* pathBox;
    QPushButton* browse;

  private:
    COstrandDoc& doc_;
};

class CDevicePage : public CSetupPage {
    Q_OBJECT
  public:
    CDevicePage(DocumentCore& core, QWidget* parent);
    void fill(const SetupValues& values) override;
    QList<QWidget*> fields() const override;
    // The device chosen by Apply; nullptr when none.
    const DeviceDefinition* chosen() const { return chosen_; }
    // The lists' selection, before Apply.
    const DeviceDefinition* listed() const;
    void fillDevices(const QString& series, const QString& select = {});
    void apply();
    void refreshSetting();
    void refreshEmulation(const SetupValues& values);
    int32_t emulationValue() const;

    QComboBox* seriesList;
    QComboBox* deviceList;
    QPushButton* applyButton;
    QLabel* chosenDevice;
    QCheckBox* addressOption;
    QPushButton* setting;
    QLabel* emulationLabel;
    QComboBox* emulation;
    QLabel* limitLabel;
    CSelectAllEdit* limit;

  signals:
    // Apply made `next` the device in force (was `previous`).
    void deviceApplied(const DeviceDefinition* previous, const DeviceDefinition* next);
    void settingPressed();

  private:
    DocumentCore& core_;
    const DeviceDefinition* chosen_ = nullptr;
};

class CObjectFilePage : public CSetupPage {
    Q_OBJECT
  public:
    CObjectFilePage(COstrandDoc& doc, QWidget* parent);
    void fill(const SetupValues& values) override;
    QList<QWidget*> fields() const override;
    CSelectAllEdit* pathBox;
    QPushButton* browse;

  private:
    COstrandDoc& doc_;
};

class CCommunicationPage : public CSetupPage {
    Q_OBJECT
  public:
    CCommunicationPage(DocumentCore& core, QWidget* parent);
    void fill(const SetupValues& values) override;
    QList<QWidget*> fields() const override;
    // The port list of the setup, with the setup's own port when the
    // system does not list it.
    void fillPorts(const std::string& select);
    // The layout for the device in force; `changed`: it has just changed.
    void layOut(const DeviceDefinition* device, bool changed);
    int32_t clock() const;
    bool autoRate() const;

    QComboBox* portList;
    QGroupBox* clockFrame;
    std::array<QRadioButton*, 3> clockChoices{};  // 16, 8, 4 MHz
    QRadioButton* manual;
    QRadioButton* automatic;
    QLabel* rateLabel;
    QComboBox* rateList;
    QLabel* bpsLabel;
    QLabel* fixedRate;  // "Data Rate 115200 bps"
    QLabel* clockLabel;
    CSelectAllEdit* clockBox;
    QLabel* mhzLabel;
    QLabel* help;

  private:
    DocumentCore& core_;
    const DeviceDefinition* device_ = nullptr;
};

class CSetupDlg : public QDialog {
    Q_OBJECT
  public:
    CSetupDlg(COstrandDoc& doc, int firstPage, QWidget* parent = nullptr);

    int page() const;
    void choosePage(int page);
    CSetupFilePage* setupFilePage;
    CDevicePage* devicePage;
    CObjectFilePage* objectFilePage;
    CCommunicationPage* communicationPage;
    QTabBar* tabs;
    QPushButton* passwordButton;
    QPushButton* optionButton;
    QPushButton* okButton;
    QPushButton* cancelButton;
    // The dialog's copy of the setup: what the pages and the windows opened
    // from here edit until OK.
    SetupValues values;

  public slots:
    void accept() override;
    void reject() override;

  private:
    void fillPages();
    // The Setup File page's path, when it names another setup file: taken
    // up now. False when the file could not be taken up.
    bool takeUpNewSetupFile(bool& tookUp);
    void deviceApplied(const DeviceDefinition* previous, const DeviceDefinition* next);
    void openAddressOption();
    void openPassword();
    void openOption();
    void showMessage(int32_t code, int32_t hint);

    COstrandDoc& doc_;
    DocumentCore& core_;
    // What Cancel goes back to: the setup in force when the dialog opened,
    // or the setup file taken up since.
    SetupValues kept_;
    QStackedWidget* stack_;
    std::array<CSetupPage*, kSetupPageCount> pages_{};
    int shown_ = -1;
};

class CAddressOptionDlg : public QDialog {
    Q_OBJECT
  public:
    // Works on `values` for `device`; `ticked`: the Device page's box.
    CAddressOptionDlg(DocumentCore& core, const DeviceDefinition& device, bool ticked,
                      SetupValues& values, QWidget* parent = nullptr);

    std::array<CSelectAllEdit*, 4> boxes{};  // 1st start, 1st end, 2nd start, 2nd end
    QRadioButton* data00;
    QRadioButton* dataFF;
    QRadioButton* sumYes;
    QRadioButton* sumNo;
    QGroupBox* secondArea;
    QGroupBox* sumFrame;

  public slots:
    void accept() override;

  private:
    DocumentCore& core_;
    const DeviceDefinition& device_;
    bool ticked_;
    SetupValues& values_;
};

// Opens the Setup dialog on `page` while it is the window that owns boxes.
// Returns QDialog::Accepted or Rejected.
int execSetupDialog(COstrandDoc& doc, int page, QWidget* parent);
// Start-up without a valid default setup opens the Setup dialog on its
// first page, before the main window is shown.
void openSetupDialogAtStartUp(COstrandDoc& doc);

}  // namespace ostrand::ui
