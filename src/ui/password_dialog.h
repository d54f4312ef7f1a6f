// The Setup Password dialog: the device password (what the chip holds now)
// and where the object file keeps the password the chip will hold after
// programming. It asks and shows; the document's setPasswords decides.
#pragma once

#include <QDialog>
#include <string>

#include "app/setup_settings.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ostrand {
class DocumentCore;
struct DeviceDefinition;
}  // namespace ostrand

namespace ostrand::ui {

class COstrandDoc;

class CPasswordDlg : public QDialog {
    Q_OBJECT
  public:
    // `device`: the device in force, or the Setup dialog's applied one.
    // `pageValues`: the Setup dialog's copy of the setup when opened from
    // there (it takes the passwords too), with `pagePath` its Setup File
    // page's path.
    CPasswordDlg(COstrandDoc& doc, const DeviceDefinition* device,
                 SetupValues* pageValues = nullptr, const std::string& pagePath = {},
                 QWidget* parent = nullptr);

    QGroupBox* deviceGroup;
    QCheckBox* blank;
    QRadioButton* deviceAuto;
    QRadioButton* deviceManual;
    QPushButton* searchFile;
    QRadioButton* ascii;
    QRadioButton* hex;
    QLineEdit* password;
    QLineEdit* deviceNumAdd;
    QLineEdit* deviceCmpAdd;
    QGroupBox* objectGroup;
    QRadioButton* objectAuto;
    QRadioButton* objectManual;
    QLineEdit* objectNumAdd;
    QLineEdit* objectCmpAdd;
    QCheckBox* saveLog;
    QPushButton* helpButton;
    QPushButton* okButton;
    QPushButton* cancelButton;

  public slots:
    void accept() override;
    void reject() override;

  private:
    void fill(const SetupValues& values);
    // Enables what the choices leave open.
    void refresh();
    void blankToggled(bool on);
    void searchFromFile();
    void deviceAutoChosen();
    void objectAutoChosen();
    bool fixedAddresses() const;
    std::string objectPath() const;

    COstrandDoc& doc_;
    DocumentCore& core_;
    const DeviceDefinition* device_;
    SetupValues* pageValues_;
    std::string pagePath_;
    // The device password came from an object file: its fields stay shut.
    bool fromFile_ = false;
};

}  // namespace ostrand::ui
